#include "Unit1.h"

#include "window/geometry.h"

#include "archive/paths.h"
#include "window/wording.h"

#include <QCloseEvent>
#include <algorithm>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QStandardPaths>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

using brimlet::Archive;
using brimlet::ScreenRect;
using brimlet::fitToWorkArea;

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

const QColor kMarkedName(255, 255, 255);
const QColor kPlainName(0, 0, 0);
const QColor kMarkedSize(0, 255, 0);
const QColor kPlainSize(0, 128, 0);

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

Twnd_dir::Twnd_dir(const QStringList& arguments, QWidget* parent) : QWidget(parent)
{
    brimlet::setFrontEndDialogs(&qtDialogs());
    auto settings = [] { return std::unique_ptr<brimlet::SettingsStore>(new QtSettingsStore(settingsStore())); };
    brimlet::WindowView& view = *this;
    behaviour_ = std::make_unique<brimlet::DirWindow>(view, settings, pathsOf(arguments.mid(0, 1)));
    OpenDialog1 = &behaviour_->OpenDialog1;
    SaveDialog1 = &behaviour_->SaveDialog1;
    OpenDialog2 = &behaviour_->OpenDialog2;
    setObjectName("wnd_dir");
    setWindowTitle("brimlet");
    setWindowIcon(programIcon()); // in the window manager and the task bar
    setFont(windowFont(11));
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    createControls();
    createListMenu();
    placeWindow();
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
    entryModel_ = new EntryListModel(behaviour_->archive(), this);
    List->setModel(entryModel_);
    List->setOnDrawItem([this](QWidget* c, int i, const QRect& r, TOwnerDrawState s) { ListDrawItem(c, i, r, s); });
    connect(List, &TListBox::DblClick, this, [this] { ListDblClick(); });

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
    resultsModel_ = new SearchResultsModel(behaviour_->results(), this);
    ListBox1->setModel(resultsModel_);
    connect(ListBox1, &TListBox::Click, this, [this] { ListBox1Click(); });
    inp_find = new THOX_edit(GroupBox2);
    inp_find->setObjectName("inp_find");
    inp_find->setFixedHeight(19);
    inp_find->setAlign(alTop);
    inp_find->setNumbersonly(false);
    inp_find->setFlat(true);
    inp_find->setAcceptDrops(false); // dropped files are the window's, never search text
    inp_find->OnChange = [this](QObject*) { inp_findChange(); };
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
    setMinimumWidth(170 - frame.width());
    // At a high scale the window can be taller than a small screen.
    ScreenRect designed{frameGeometry().left(), frameGeometry().top(), 170, 559}, work;
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
    if (!behaviour_->mayClose()) {
        event->ignore(); // a command runs: its dialogs belong to this window
        return;
    }
    FormCloseQuery();
    event->accept();
}

void Twnd_dir::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    fitOuterSize();
    FormResize();
}

// "HOX Development/brimlet.conf" in the user's configuration folder, where
// QSettings("HOX Development", "brimlet") keeps it, named outright: the
// real dialogs move Qt's own user-scope settings away.
std::function<std::unique_ptr<QSettings>()> Twnd_dir::settingsStore = [] {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return std::make_unique<QSettings>(folder + "/HOX Development/brimlet.conf", QSettings::NativeFormat);
};

// The size column hangs on the right edge, so every row is drawn again.
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
    bool marked = State & (odSelected | odFocused);
    const brimlet::DirEntry& entry = archive().table()[static_cast<size_t>(Index)];
    QString text = QString::fromStdString(brimlet::rowText(entry.nameView()));

    canvas.FillRect(Rect);
    canvas.FontColor = marked ? kMarkedName : kPlainName;
    canvas.TextOut(Rect.left() + 18, Rect.top(), text);

    canvas.FontColor = marked ? kMarkedSize : kPlainSize;
    int right = Rect.left() + Rect.width();
    canvas.TextOut(right - 38, Rect.top(), QString::fromStdString(brimlet::sizeText(entry.sectorCount())));

    int icon = brimlet::iconIndexFor(entry.nameView());
    if (icon >= 0) ImageList1->Draw(canvas.painter(), Rect.left(), Rect.top(), icon);
}

