#include "Unit1.h"

#include "archive/paths.h"
#include "error_handler.h"

#include <QCloseEvent>
#include <algorithm>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QTimer>
#include <QVBoxLayout>

using brimlet::Archive;

std::string toPath(const QString& path)
{
    QString absolute = path.isEmpty() ? path : QFileInfo(path).absoluteFilePath();
    return QFile::encodeName(absolute).toStdString();
}

QString fromPath(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

namespace {

const QColor kMarkedName(255, 255, 255);
const QColor kPlainName(0, 0, 0);
const QColor kMarkedSize(0, 255, 0);
const QColor kPlainSize(0, 128, 0);

// The list icon for a row's text: by its lower-cased extension, or -1.
int iconIndexFor(const QString& text)
{
    static const char* const extensions[] = {".txd", ".dff", ".col", ".ifp"};
    std::string extension = brimlet::lowerAscii(brimlet::entryExtension(text.toLatin1().toStdString()));
    for (int i = 0; i < 4; ++i)
        if (extension == extensions[i]) return i;
    return -1;
}

// Width 0 frame, as a panel without bevel and a border of one pixel.
QFrame* makePanel(QWidget* parent, const QString& name, int height)
{
    auto* panel = new QFrame(parent);
    panel->setObjectName(name);
    panel->setFrameShape(QFrame::NoFrame);
    panel->setFixedHeight(height);
    return panel;
}

}  // namespace

// ---------------------------------------------------------------- fonts

void registerTahoma()
{
    static bool done = false;
    if (done) return;
    done = true;
    for (const char* path : {"/usr/share/fonts/truetype/wine/tahoma.ttf", "/usr/share/wine/fonts/tahoma.ttf"})
        if (QFile::exists(path)) QFontDatabase::addApplicationFont(path);
}

QFont windowFont(int pixelSize)
{
    registerTahoma();
    QFont font;
    font.setFamilies({"Tahoma", "Sans Serif"});
    font.setPixelSize(pixelSize);
    return font;
}

// ---------------------------------------------------------------- layout

// How long a command waits for another program (a script) to finish with the
// archive before it gives up with a message.
constexpr long kLockWaitMs = 4000;

Twnd_dir::Twnd_dir(const QStringList& arguments, QWidget* parent) : QWidget(parent), arguments_(arguments)
{
    setObjectName("wnd_dir");
    setWindowTitle("brimlet");
    setWindowIcon(programIcon()); // in the window manager and the task bar
    setFont(windowFont(11));
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    createControls();
    createListMenu();
    placeWindow();
    // The window's one thread must not freeze behind another program's lock.
    entryModel_->setLockWait({kLockWaitMs, {}});
}

Twnd_dir::~Twnd_dir() = default;

void Twnd_dir::createControls()
{
    GroupBox1 = new QGroupBox(" dir content ", this);
    GroupBox1->setObjectName("GroupBox1");

    List = new TListBox(GroupBox1, "List", 16);
    QFont listFont = windowFont(13);
    listFont.setStyleStrategy(QFont::NoAntialias); // the program's exact text colours
    List->setFont(listFont);
    entryModel_ = new EntryListModel(this);
    List->setModel(entryModel_);
    List->setOnDrawItem([this](QWidget* c, int i, const QRect& r, TOwnerDrawState s) { ListDrawItem(c, i, r, s); });
    connect(List, &TListBox::DblClick, this, [this] { guarded([this] { ListDblClick(); }); });

    Panel1 = makePanel(GroupBox1, "Panel1", 23);
    btn_open = new TAlignSpeedButton(Panel1, "btn_open", "Open", Glyph::Open);
    btn_open->setFixedSize(78, 21);
    btn_compress = new TAlignSpeedButton(Panel1, "btn_compress", "compress", Glyph::Compress);
    btn_compress->setEnabled(false); // never enabled: there is no compression
    auto* top = new QHBoxLayout(Panel1);
    top->setContentsMargins(1, 1, 1, 1);
    top->setSpacing(0);
    top->addWidget(btn_open);
    top->addWidget(btn_compress, 1);

    Panel2 = makePanel(GroupBox1, "Panel2", 42);
    btn_replace = new TAlignSpeedButton(Panel2, "btn_replace", "Replace", Glyph::Replace);
    btn_replace->setGeometry(79, 1, 78, 20);
    btn_export = new TAlignSpeedButton(Panel2, "btn_export", "Export", Glyph::Export);
    btn_export->setGeometry(1, 1, 78, 20);
    btn_delete = new TAlignSpeedButton(Panel2, "btn_delete", "Delete", Glyph::Delete);
    btn_delete->setGeometry(79, 21, 78, 20);
    btn_import = new TAlignSpeedButton(Panel2, "btn_import", "Add", Glyph::Import);
    btn_import->setGeometry(1, 21, 78, 20);

    auto* entries = new QVBoxLayout(GroupBox1);
    entries->setContentsMargins(2, 0, 2, 2);
    entries->setSpacing(0);
    entries->addWidget(Panel1);
    entries->addWidget(List, 1);
    entries->addWidget(Panel2);

    GroupBox2 = new QGroupBox(" search and results ", this);
    GroupBox2->setObjectName("GroupBox2");
    GroupBox2->setFixedHeight(138);
    ListBox1 = new TListBox(GroupBox2, "ListBox1", 13);
    resultsModel_ = new SearchResultsModel(this);
    ListBox1->setModel(resultsModel_);
    connect(ListBox1, &TListBox::Click, this, [this] { guarded([this] { ListBox1Click(); }); });
    inp_find = new THOX_edit(GroupBox2);
    inp_find->setObjectName("inp_find");
    inp_find->setFixedHeight(19);
    inp_find->setAlign(alTop);
    inp_find->setNumbersonly(false);
    inp_find->setFlat(true);
    inp_find->setAcceptDrops(false); // dropped files are the window's, never search text
    inp_find->OnChange = [this](QObject*) { guarded([this] { inp_findChange(); }); };
    auto* search = new QVBoxLayout(GroupBox2);
    search->setContentsMargins(2, 0, 2, 2);
    search->setSpacing(0);
    search->addWidget(inp_find);
    search->addWidget(ListBox1, 1);

    auto* window = new QVBoxLayout(this);
    window->setContentsMargins(0, 0, 0, 0);
    window->setSpacing(0);
    window->addWidget(GroupBox1, 1);
    window->addWidget(GroupBox2);

    OpenDialog1 = std::make_unique<TFileDialog>(this, "OpenDialog1", TFileDialog::Kind::Open,
                                                "GTA3 & VC dir or img file|*.dir;*.img");
    SaveDialog1 = std::make_unique<TFileDialog>(this, "SaveDialog1", TFileDialog::Kind::Save, "any file|*.*");
    OpenDialog2 = std::make_unique<TFileDialog>(this, "OpenDialog2", TFileDialog::Kind::Open,
                                                "*.col;*.dff;*.txd|*.col;*.dff;*.txd");
    HOX_dragdrop1 = new THOX_dragdrop(this);
    HOX_dragdrop1->setObjectName("HOX_dragdrop1");
    HOX_dragdrop1->setActive(true);
    HOX_dragdrop1->onfilesdropped = [this](int numitems, const QStringList& list) {
        guarded([&] { HOX_dragdrop1filesdropped(numitems, list); });
    };
    ImageList1 = std::make_unique<TImageList>();

    // The tool buttons take no focus: Tab cycles entry list, results, search field.
    setTabOrder(List, ListBox1);
    setTabOrder(ListBox1, inp_find);

    connect(btn_open, &QToolButton::clicked, this, [this] { guarded([this] { btn_openClick(); }); });
    connect(btn_export, &QToolButton::clicked, this, [this] { guarded([this] { btn_exportClick(); }); });
    connect(btn_import, &QToolButton::clicked, this, [this] { guarded([this] { btn_importClick(); }); });
    connect(btn_replace, &QToolButton::clicked, this, [this] { guarded([this] { btn_replaceClick(); }); });
    connect(btn_delete, &QToolButton::clicked, this, [this] { guarded([this] { btn_deleteClick(); }); });
}

void Twnd_dir::placeWindow()
{
    move(258, 122);
    resize(170, 559);
    setMinimumWidth(170);
}

// ---------------------------------------------------------------- window events

void Twnd_dir::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    fitOuterSize();
    if (shown_) return;
    shown_ = true;
    QTimer::singleShot(0, this, [this] { guarded([this] { FormShow(); }); });
}

void Twnd_dir::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    fitOuterSize();
}

// The layout's sizes are outer ones, frame included. A window manager frames
// the window only after it was first shown, so until the frame is known every
// show, move and resize looks again.
void Twnd_dir::fitOuterSize()
{
    if (outerSizeFitted_ || !isVisible()) return;
    QSize frame = frameGeometry().size() - geometry().size();
    if (frame == QSize(0, 0)) return;
    outerSizeFitted_ = true;
    setMinimumWidth(170 - frame.width());
    resize(170 - frame.width(), 559 - frame.height());
}

void Twnd_dir::closeEvent(QCloseEvent* event)
{
    FormCloseQuery();
    event->accept(); // closing is always allowed
}

void Twnd_dir::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    fitOuterSize();
    FormResize();
}

void Twnd_dir::FormShow()
{
    restoreSettings();
    if (!arguments_.isEmpty() && brimlet::fileExists(toPath(arguments_.first())))
        openimg(arguments_.first());
    else
        openCommand();
}

void Twnd_dir::FormCloseQuery() { saveSettings(); }

// ---------------------------------------------------------------- settings

std::function<std::unique_ptr<QSettings>()> Twnd_dir::settingsStore = [] {
    return std::make_unique<QSettings>("HOX Development", "brimlet");
};

// Remembered values are a convenience: any failure leaves the rest as they are.
void Twnd_dir::restoreSettings()
{
    try {
        auto settings = settingsStore();
        createStore(*settings);
        OpenDialog1->FileName = settings->value("imgfile").toString();
        OpenDialog2->FileName = settings->value("lastfile").toString();
        inp_find->setText(settings->value("find").toString());
        if (!inp_find->text().isEmpty()) inp_findChange();
    } catch (...) {
    }
}

// The store exists from the first start-up on, empty until the first close.
void Twnd_dir::createStore(const QSettings& settings)
{
    QString file = settings.fileName();
    if (file.isEmpty() || QFile::exists(file)) return;
    QDir().mkpath(QFileInfo(file).path());
    QFile(file).open(QIODevice::WriteOnly);
}

void Twnd_dir::saveSettings()
{
    try {
        auto settings = settingsStore();
        settings->setValue("imgfile", OpenDialog1->FileName);
        settings->setValue("lastfile", OpenDialog2->FileName);
        settings->setValue("find", inp_find->text());
        settings->sync();
    } catch (...) {
    }
}

// The size column hangs on the right edge, so every row is drawn again.
void Twnd_dir::FormResize() { List->viewport()->repaint(); }

// ---------------------------------------------------------------- commands

void Twnd_dir::openimg(const QString& path)
{
    entryModel_->openimg(toPath(path));
    GroupBox1->setTitle(" " + fromPath(brimlet::hostFileName(archive().directoryPath())) + " ");
    List->setItemIndex(-1);
}

void Twnd_dir::openCommand()
{
    if (!OpenDialog1->Execute()) return;
    openimg(OpenDialog1->FileName);
    inp_findChange();
}

void Twnd_dir::btn_openClick() { openCommand(); }

void Twnd_dir::applySelectionRule()
{
    if (List->ItemIndex() < 0) List->setItemIndex(0);
}

void Twnd_dir::presetEntryDialogs(const QString& text)
{
    SaveDialog1->FileName = text;
    OpenDialog2->FileName = text;
}

void Twnd_dir::btn_exportClick()
{
    applySelectionRule();
    int index = List->ItemIndex();
    presetEntryDialogs(List->Item(index));
    if (!SaveDialog1->Execute()) return;
    entryModel_->exportEntry(index, toPath(SaveDialog1->FileName));
}

void Twnd_dir::btn_importClick()
{
    applySelectionRule();
    if (!OpenDialog2->Execute()) return;
    List->setItemIndex(entryModel_->addEntry(toPath(OpenDialog2->FileName)));
}

void Twnd_dir::btn_replaceClick() { replaceCommand(nullptr); }

// A dropped file is offered in the entry dialog in place of the entry's name,
// so the user confirms the very file that was dropped.
void Twnd_dir::replaceCommand(const QString* offeredFile)
{
    applySelectionRule();
    int index = List->ItemIndex();
    presetEntryDialogs(List->Item(index));
    if (offeredFile) OpenDialog2->FileName = *offeredFile;
    if (!OpenDialog2->Execute()) return;
    entryModel_->replaceEntry(index, toPath(OpenDialog2->FileName));
}

void Twnd_dir::btn_deleteClick()
{
    applySelectionRule();
    int index = List->ItemIndex();
    if (index < 0) return; // an empty list: nothing to delete
    entryModel_->deleteEntry(index);
    List->setItemIndex(-1);
}

void Twnd_dir::ListDblClick()
{
    int index = List->ItemIndex();
    QString name = List->Item(index);
    if (!dialogs().inputQuery("Rename file", "New name:", name)) return;
    entryModel_->renameEntry(index, textToName(name));
}

// ---------------------------------------------------------------- row drawing

void Twnd_dir::ListDrawItem(QWidget* Control, int Index, const QRect& Rect, TOwnerDrawState State)
{
    auto* list = static_cast<TListBox*>(Control);
    TCanvas& canvas = *list->Canvas();
    bool marked = State & (odSelected | odFocused);
    QString text = list->Item(Index);

    canvas.FillRect(Rect);
    canvas.FontColor = marked ? kMarkedName : kPlainName;
    canvas.TextOut(Rect.left() + 18, Rect.top(), text);

    // Sizes are computed as the format's 32-bit readers do: a span of 4 GiB
    // or more wraps around.
    canvas.FontColor = marked ? kMarkedSize : kPlainSize;
    uint32_t sectors = archive().table()[static_cast<size_t>(Index)].sectorCount();
    uint32_t bytes = sectors * 2048u;
    int right = Rect.left() + Rect.width();
    canvas.TextOut(right - 38, Rect.top(), QString::number(bytes / 1000u) + "Kb");

    int icon = iconIndexFor(text);
    if (icon >= 0) ImageList1->Draw(canvas.painter(), Rect.left(), Rect.top(), icon);
}

// ---------------------------------------------------------------- search

void Twnd_dir::inp_findChange()
{
    // A character no entry name can hold matches nothing.
    QString text = inp_find->text();
    bool latin1 = std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() <= 0xFF; });
    resultsModel_->refresh(archive(), latin1 ? textToName(text) : std::string());
}

void Twnd_dir::ListBox1Click()
{
    int result = ListBox1->ItemIndex();
    if (result < 0) return;
    List->setItemIndex(static_cast<int>(archive().indexOf(resultsModel_->name(result))));
    List->setFocus();
    ListBox1->setFocus();
}

// ---------------------------------------------------------------- drops

void Twnd_dir::HOX_dragdrop1filesdropped(int, const QStringList& list)
{
    const QString& path = list.first();
    if (!brimlet::fileExists(toPath(path))) return;
    std::string extension = brimlet::lowerAscii(brimlet::hostExtension(toPath(path)));
    if (extension == ".img" || extension == ".dir")
        openimg(path);
    else {
        OpenDialog2->FileName = path; // remembered even when Replace then fails
        replaceCommand(&path);
    }
}
