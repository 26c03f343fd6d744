#include "Unit1.h"

#include "window/geometry.h"
#include "window/presentation.h"

#include "archive/paths.h"
#include "window/wording.h"

#include <QCloseEvent>
#include <algorithm>
#include <QDir>
#include <QDrag>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMimeData>
#include <QStandardPaths>
#include <QScreen>
#include <QUrl>
#include <QTimer>
#include <QVBoxLayout>

using brimlet::Archive;
using brimlet::ScreenRect;
using brimlet::fitToWorkArea;
namespace look = brimlet::presentation;

namespace {

// The three remembered strings in a QSettings store.
class QtSettingsStore : public brimlet::SettingsStore {
public:
    explicit QtSettingsStore(std::unique_ptr<QSettings> settings) : settings_(std::move(settings)) {}
    ~QtSettingsStore() override { settings_->sync(); }

    // The store exists from the first start-up on, empty until the first close.
    void open() override
    {
        QString file = settings_->fileName();
        if (file.isEmpty() || QFile::exists(file)) return;
        QDir().mkpath(QFileInfo(file).path());
        QFile(file).open(QIODevice::WriteOnly);
    }
    std::string read(const std::string& name) override
    {
        return settings_->value(QString::fromStdString(name)).toString().toStdString();
    }
    void write(const std::string& name, const std::string& value) override
    {
        settings_->setValue(QString::fromStdString(name), QString::fromStdString(value));
    }

private:
    std::unique_ptr<QSettings> settings_;
};

QColor qtColour(brimlet::presentation::Colour colour) { return QColor(colour.red, colour.green, colour.blue); }

QRect qtRect(const brimlet::presentation::ButtonPlace& place)
{
    return QRect(place.left, place.top, place.width, place.height);
}

std::vector<std::string> pathsOf(const QStringList& list)
{
    std::vector<std::string> paths;
    for (const QString& path : list) paths.push_back(toPath(path));
    return paths;
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

Twnd_dir::Twnd_dir(const QStringList& arguments, brimlet::Dialogs& dialogs, SettingsFile settingsFile, QWidget* parent)
    : QWidget(parent)
{
    auto settings = [settingsFile] { return std::unique_ptr<brimlet::SettingsStore>(new QtSettingsStore(settingsFile())); };
    brimlet::WindowView& view = *this;
    behaviour_ = std::make_unique<brimlet::DirWindow>(view, dialogs, settings, pathsOf(arguments.mid(0, 1)));
    OpenDialog1 = &behaviour_->OpenDialog1;
    SaveDialog1 = &behaviour_->SaveDialog1;
    OpenDialog2 = &behaviour_->OpenDialog2;
    setObjectName("wnd_dir");
    setWindowTitle(look::kWindowTitle);
    setWindowIcon(programIcon()); // in the window manager and the task bar
    setFont(windowFont(look::kWindowFontPixels));
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    createControls();
    createListMenu();
    placeWindow();
}

Twnd_dir::~Twnd_dir() = default;

void Twnd_dir::createControls()
{
    GroupBox1 = new QGroupBox(look::kEntriesCaption, this);
    GroupBox1->setObjectName("GroupBox1");

    List = new TListBox(GroupBox1, "List", look::kEntryRowHeight);
    QFont listFont = windowFont(look::kListFontPixels);
    listFont.setStyleStrategy(QFont::NoAntialias); // the program's exact text colours
    List->setFont(listFont);
    List->setSeveralSelectable();
    entryModel_ = new EntryListModel(behaviour_->archive(), this);
    List->setModel(entryModel_);
    List->setOnDrawItem([this](QWidget* c, int i, const QRect& r, TOwnerDrawState s) { ListDrawItem(c, i, r, s); });
    connect(List, &TListBox::DblClick, this, [this] { ListDblClick(); });
    List->setDragsOut();
    connect(List, &TListBox::DragOutAsked, this, [this] { ListDragOut(); });

    Panel1 = makePanel(GroupBox1, "Panel1", look::kTopPanelHeight);
    btn_open = new TAlignSpeedButton(Panel1, "btn_open", look::kOpenButton.caption, Glyph::Open);
    btn_open->setFixedSize(look::kOpenButton.width, look::kOpenButton.height);
    btn_compress = new TAlignSpeedButton(Panel1, "btn_compress", look::kCompressButton.caption, Glyph::Compress);
    btn_compress->setEnabled(false); // never enabled: there is no compression
    auto* top = new QHBoxLayout(Panel1); // the open button, then the compress button to the panel's edge
    top->setContentsMargins(look::kOpenButton.left, look::kOpenButton.top, 1, 1);
    top->setSpacing(0);
    top->addWidget(btn_open);
    top->addWidget(btn_compress, 1);

    Panel2 = makePanel(GroupBox1, "Panel2", look::kBottomPanelHeight);
    btn_replace = new TAlignSpeedButton(Panel2, "btn_replace", look::kReplaceButton.caption, Glyph::Replace);
    btn_replace->setGeometry(qtRect(look::kReplaceButton));
    btn_export = new TAlignSpeedButton(Panel2, "btn_export", look::kExportButton.caption, Glyph::Export);
    btn_export->setGeometry(qtRect(look::kExportButton));
    btn_delete = new TAlignSpeedButton(Panel2, "btn_delete", look::kDeleteButton.caption, Glyph::Delete);
    btn_delete->setGeometry(qtRect(look::kDeleteButton));
    btn_import = new TAlignSpeedButton(Panel2, "btn_import", look::kImportButton.caption, Glyph::Import);
    btn_import->setGeometry(qtRect(look::kImportButton));

    auto* entries = new QVBoxLayout(GroupBox1);
    entries->setContentsMargins(look::kGroupMargin, 0, look::kGroupMargin, look::kGroupMargin);
    entries->setSpacing(0);
    entries->addWidget(Panel1);
    entries->addWidget(List, 1);
    entries->addWidget(Panel2);

    GroupBox2 = new QGroupBox(look::kSearchCaption, this);
    GroupBox2->setObjectName("GroupBox2");
    GroupBox2->setFixedHeight(look::kSearchGroupHeight);
    ListBox1 = new TListBox(GroupBox2, "ListBox1", look::kResultRowHeight);
    resultsModel_ = new SearchResultsModel(behaviour_->results(), this);
    ListBox1->setModel(resultsModel_);
    connect(ListBox1, &TListBox::Click, this, [this] { ListBox1Click(); });
    inp_find = new THOX_edit(GroupBox2);
    inp_find->setObjectName("inp_find");
    inp_find->setFixedHeight(look::kFindHeight);
    inp_find->setAlign(alTop);
    inp_find->setNumbersonly(false);
    inp_find->setFlat(true);
    inp_find->setAcceptDrops(false); // dropped files are the window's, never search text
    inp_find->OnChange = [this](QObject*) { inp_findChange(); };
    auto* search = new QVBoxLayout(GroupBox2);
    search->setContentsMargins(look::kGroupMargin, 0, look::kGroupMargin, look::kGroupMargin);
    search->setSpacing(0);
    search->addWidget(inp_find);
    search->addWidget(ListBox1, 1);

    auto* window = new QVBoxLayout(this);
    window->setContentsMargins(0, 0, 0, 0);
    window->setSpacing(0);
    window->addWidget(GroupBox1, 1);
    window->addWidget(GroupBox2);

    HOX_dragdrop1 = new THOX_dragdrop(this);
    HOX_dragdrop1->setObjectName("HOX_dragdrop1");
    HOX_dragdrop1->setActive(true);
    HOX_dragdrop1->onfilesdropped = [this](int numitems, const QStringList& list) {
        HOX_dragdrop1filesdropped(numitems, list);
    };
    ImageList1 = std::make_unique<TImageList>();

    // The tool buttons take no focus: Tab cycles entry list, results, search field.
    setTabOrder(List, ListBox1);
    setTabOrder(ListBox1, inp_find);

    connect(btn_open, &QToolButton::clicked, this, [this] { btn_openClick(); });
    connect(btn_export, &QToolButton::clicked, this, [this] { btn_exportClick(); });
    connect(btn_import, &QToolButton::clicked, this, [this] { btn_importClick(); });
    connect(btn_replace, &QToolButton::clicked, this, [this] { btn_replaceClick(); });
    connect(btn_delete, &QToolButton::clicked, this, [this] { btn_deleteClick(); });
}

void Twnd_dir::placeWindow()
{
    const ScreenRect& designed = look::kDesignedWindow;
    move(designed.left, designed.top);
    resize(designed.width, designed.height);
    setMinimumWidth(look::kMinimumWidth);
}

// ---------------------------------------------------------------- window events

void Twnd_dir::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    fitOuterSize();
    if (shown_) return;
    shown_ = true;
    QTimer::singleShot(0, this, [this] { FormShow(); });
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
    setMinimumWidth(look::kMinimumWidth - frame.width());
    // At a high scale the window can be taller than a small screen.
    ScreenRect designed{frameGeometry().left(), frameGeometry().top(), look::kDesignedWindow.width,
                        look::kDesignedWindow.height};
    ScreenRect work;
    if (screen()) {
        QRect available = screen()->availableGeometry();
        work = {available.left(), available.top(), available.width(), available.height()};
    }
    ScreenRect fitted = fitToWorkArea(designed, work);
    if (fitted.left != designed.left || fitted.top != designed.top) move(fitted.left, fitted.top);
    resize(fitted.width - frame.width(), fitted.height - frame.height());
}

void Twnd_dir::closeEvent(QCloseEvent* event)
{
    if (FormCloseQuery())
        event->accept();
    else
        event->ignore(); // a command runs: its dialogs belong to this window
}

void Twnd_dir::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    fitOuterSize();
    FormResize();
}

// Where QSettings(maker, program) keeps it, named outright: the real
// dialogs move Qt's own user-scope settings away.
std::unique_ptr<QSettings> userSettingsFile()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return std::make_unique<QSettings>(folder + "/" + look::kSettingsMaker + "/" + look::kSettingsProgram + ".conf",
                                       QSettings::NativeFormat);
}

// The size column hangs on the right edge, so every row is drawn again.
// The selected entries go out as file URLs, the files written before the
// drag starts; only a copy is offered, so a taker never takes them away
// from the drag folder while another may still read them.
void Twnd_dir::ListDragOut()
{
    behaviour_->ListDragOutFiles([this](const std::vector<std::string>& paths) {
        // The files took a while: a button let go meanwhile ended the drag
        // before it began (the release may still wait in the queue).
        QCoreApplication::processEvents();
        if (!(QGuiApplication::mouseButtons() & Qt::LeftButton)) return false;
        auto* offered = new QMimeData;
        QList<QUrl> urls;
        for (const std::string& path : paths) urls << QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(path)));
        offered->setUrls(urls);
        auto* drag = new QDrag(List);
        drag->setMimeData(offered);
        return drag->exec(Qt::CopyAction) == Qt::CopyAction;
    });
}

void Twnd_dir::FormResize() { List->viewport()->repaint(); }

// ---------------------------------------------------------------- the behaviour's view

void Twnd_dir::entriesChanging(const brimlet::TableChange& change, bool before) { entryModel_->announce(change, before); }

void Twnd_dir::setEntriesCaption(const std::string& caption) { GroupBox1->setTitle(QString::fromStdString(caption)); }

std::string Twnd_dir::searchText() const { return inp_find->text().toStdString(); }

void Twnd_dir::setSearchText(const std::string& text) { inp_find->setText(QString::fromStdString(text)); }

void Twnd_dir::HOX_dragdrop1filesdropped(int numitems, const QStringList& list)
{
    behaviour_->HOX_dragdrop1filesdropped(numitems, pathsOf(list));
}

// ---------------------------------------------------------------- row drawing

void Twnd_dir::ListDrawItem(QWidget* Control, int Index, const QRect& Rect, TOwnerDrawState State)
{
    auto* list = static_cast<TListBox*>(Control);
    TCanvas& canvas = *list->Canvas();
    bool marked = look::isMarked(State & odSelected, State & odFocused);
    const brimlet::DirEntry& entry = archive().table()[static_cast<size_t>(Index)];
    QString text = QString::fromStdString(brimlet::rowText(entry.nameView()));

    canvas.FillRect(Rect);
    canvas.FontColor = qtColour(look::nameColour(marked));
    canvas.TextOut(Rect.left() + look::kNameLeft, Rect.top(), text);

    canvas.FontColor = qtColour(look::sizeColour(marked));
    int right = Rect.left() + Rect.width();
    canvas.TextOut(right - look::kSizeFromRight, Rect.top(), QString::fromStdString(brimlet::sizeText(entry.sectorCount())));

    int icon = brimlet::iconIndexFor(entry.nameView());
    if (icon >= 0) ImageList1->Draw(canvas.painter(), Rect.left(), Rect.top(), icon);
}
