#include "dialogs.h"


#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QProgressDialog>
#include <memory>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QVBoxLayout>
#include <QWindow>

namespace {

// While a long command runs, clicks, keys and close requests meant for
// any other window are dropped, not queued: nothing the user does during
// the command may act once it ends. What arrived after the last step is
// dropped as the window goes.
class Progress : public QObject, public brimlet::ProgressWindow {
public:
    explicit Progress(bool stoppable) : stoppable_(stoppable) { qApp->installEventFilter(this); }
    ~Progress() override
    {
        QCoreApplication::processEvents();
        qApp->removeEventFilter(this);
    }

    void show(const std::string& text) override
    {
        dialog_ = std::make_unique<QProgressDialog>(QString::fromStdString(text), "Cancel", 0, 1000,
                                                    QApplication::activeWindow());
        dialog_->setWindowTitle("Brimlet");
        dialog_->setWindowModality(Qt::WindowModal);
        if (!stoppable_) dialog_->setCancelButton(nullptr);
        dialog_->show();
    }
    void setPermille(unsigned permille) override { dialog_->setValue(static_cast<int>(permille)); }
    bool pump() override
    {
        if (dialog_ && dialog_->wasCanceled()) return true;
        QCoreApplication::processEvents();
        return dialog_ && dialog_->wasCanceled();
    }

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::Drop:
            return !isOurs(receiver);
        case QEvent::Close: // refused: a close event that is not delivered counts as accepted
            if (dialog_ && receiver == dialog_.get() && stoppable_) return false; // closing it is a Cancel
            event->ignore();
            return true;
        default:
            return false;
        }
    }

private:
    // The dialog, its Cancel button, its Esc shortcut (a shortcut event goes
    // to the QShortcut object, a child of the dialog), or its native window,
    // through which input comes before it reaches a widget.
    bool isOurs(QObject* receiver) const
    {
        if (!dialog_) return false;
        if (receiver == dialog_->windowHandle()) return true;
        for (QObject* object = receiver; object; object = object->parent())
            if (object == dialog_.get()) return true;
        return false;
    }

    bool stoppable_;
    std::unique_ptr<QProgressDialog> dialog_;
};

QString text(const std::string& utf8) { return QString::fromStdString(utf8); }
std::string utf8(const QString& text) { return text.toStdString(); }

class QtDialogs : public brimlet::Dialogs {
public:
    // Qt's file dialog saves state of its own (history, last folder, view
    // mode) in the user's "QtProject" settings file. The program keeps its
    // three strings and nothing else, so Qt's user-scope settings point where
    // no file can be made; the program's own store names its file outright.
    QtDialogs()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, "/dev/null");
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, "/dev/null");
    }

    bool executeFileDialog(brimlet::FileDialog& d) override
    {
        QFileDialog dialog(QApplication::activeWindow(), QString(), QString());
        dialog.setNameFilters(qtFilterFrom(d.Filter));
        dialog.setObjectName(QString::fromStdString(d.Name));
        // The filter reads as its text alone.
        dialog.setOption(QFileDialog::DontConfirmOverwrite, !d.AsksBeforeOverwriting);
        dialog.setOption(QFileDialog::HideNameFilterDetails);
        bool mustExist = d.TypedNameMustExist && d.DialogKind == brimlet::FileDialog::Kind::Open;
        dialog.setFileMode(mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
        dialog.setAcceptMode(d.DialogKind == brimlet::FileDialog::Kind::Save ? QFileDialog::AcceptSave
                                                                              : QFileDialog::AcceptOpen);
        preset(dialog, fromPath(d.FileName), d.InitialFolder.empty() ? lastFolder_ : fromPath(d.InitialFolder));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
        QString chosen = dialog.selectedFiles().first();
        d.FileName = toPath(chosen);
        lastFolder_ = QFileInfo(chosen).absolutePath();
        return true;
    }

    bool inputQuery(const std::string& caption, const std::string& prompt, std::string& value, int maxLength) override
    {
        QDialog dialog(QApplication::activeWindow());
        dialog.setWindowTitle(text(caption));
        auto* layout = new QVBoxLayout(&dialog);
        layout->addWidget(new QLabel(text(prompt), &dialog));
        auto* edit = new QLineEdit(text(value), &dialog);
        edit->setMaxLength(maxLength);
        edit->selectAll();
        layout->addWidget(edit);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
        buttons->button(QDialogButtonBox::Ok)->setDefault(true);
        QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
        QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
        layout->addWidget(buttons);
        dialog.adjustSize();
        if (QScreen* screen = QApplication::primaryScreen())
            dialog.move(screen->availableGeometry().center() - dialog.rect().center());
        if (dialog.exec() != QDialog::Accepted) return false;
        value = utf8(edit->text());
        return true;
    }

    void showError(const std::string& message) override
    {
        QMessageBox box(QMessageBox::Critical, QApplication::applicationDisplayName(), breakable(text(message)),
                        QMessageBox::Ok, QApplication::activeWindow());
        box.setWindowModality(Qt::ApplicationModal);
        box.exec();
    }

    bool chooseFiles(const std::string& caption, std::vector<std::string>& files) override
    {
        QStringList chosen = QFileDialog::getOpenFileNames(QApplication::activeWindow(), text(caption), lastFolder_);
        if (chosen.isEmpty()) return false;
        lastFolder_ = QFileInfo(chosen.first()).absolutePath();
        files.clear();
        for (const QString& file : chosen) files.push_back(toPath(file));
        return true;
    }

    bool chooseFolder(const std::string& caption, std::string& folder) override
    {
        QString chosen = QFileDialog::getExistingDirectory(QApplication::activeWindow(), text(caption), fromPath(folder));
        if (chosen.isEmpty()) return false;
        folder = toPath(chosen);
        return true;
    }

    bool confirm(const std::string& caption, const std::string& question, bool yesByDefault) override
    {
        return QMessageBox::question(QApplication::activeWindow(), text(caption), text(question),
                                     QMessageBox::Yes | QMessageBox::No,
                                     yesByDefault ? QMessageBox::Yes : QMessageBox::No) == QMessageBox::Yes;
    }

    void showReport(const std::string& caption, const std::string& report) override
    {
        QDialog dialog(QApplication::activeWindow());
        dialog.setWindowTitle(text(caption));
        auto* layout = new QVBoxLayout(&dialog);
        auto* view = new QPlainTextEdit(text(report), &dialog);
        view->setReadOnly(true);
        view->setLineWrapMode(QPlainTextEdit::NoWrap);
        layout->addWidget(view);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
        QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
        layout->addWidget(buttons);
        dialog.resize(560, 360);
        dialog.exec();
    }

    std::unique_ptr<brimlet::ProgressWindow> openProgress(const std::string&, bool stoppable) override
    {
        return std::make_unique<Progress>(stoppable);
    }

    Existing askAboutExisting(const std::string& caption, const std::string& question) override
    {
        QMessageBox box(QMessageBox::Question, text(caption), text(question), QMessageBox::NoButton,
                        QApplication::activeWindow());
        QPushButton* overwrite = box.addButton("&Overwrite", QMessageBox::AcceptRole);
        QPushButton* skip = box.addButton("&Skip", QMessageBox::RejectRole);
        QPushButton* cancel = box.addButton(QMessageBox::Cancel);
        box.setDefaultButton(cancel);
        box.setEscapeButton(cancel);
        box.exec();
        return box.clickedButton() == overwrite ? Existing::Overwrite
               : box.clickedButton() == skip    ? Existing::Skip
                                                : Existing::Cancel;
    }

private:
    // A bare name opens in `folder` (the behaviour's, or the one last used,
    // as the system's dialogs do); a path opens in its folder, or in the
    // nearest one that still exists, and is shown whole.
    void preset(QFileDialog& dialog, const QString& fileName, const QString& folder)
    {
        if (fileName.isEmpty()) {
            if (!folder.isEmpty()) dialog.setDirectory(folder);
            return;
        }
        QFileInfo info(fileName);
        if (!fileName.contains('/')) {
            if (!folder.isEmpty()) dialog.setDirectory(folder);
            dialog.selectFile(fileName);
            return;
        }
        QDir existing = info.absoluteDir();
        if (existing.exists()) {
            dialog.selectFile(info.absoluteFilePath());
            return;
        }
        while (!existing.exists() && existing.cdUp()) {
        }
        dialog.setDirectory(existing);
        if (auto* edit = dialog.findChild<QLineEdit*>("fileNameEdit"))
            edit->setText(info.absoluteFilePath());
        else
            dialog.selectFile(info.absoluteFilePath());
    }

    // Break opportunities after path separators and within long runs, so that
    // a long message wraps in a box no wider than the screen.
    static QString breakable(const QString& text)
    {
        const QChar zeroWidthSpace(0x200B);
        QString out;
        int run = 0;
        for (QChar c : text) {
            out += c;
            run = c.isSpace() ? 0 : run + 1;
            if (c == '/' || c == '\\' || run >= 40) {
                out += zeroWidthSpace;
                run = 0;
            }
        }
        return out;
    }

    QString lastFolder_;
};

}  // namespace

brimlet::Dialogs& qtDialogs()
{
    static QtDialogs real;
    return real;
}

QStringList qtFilterFrom(const std::string& filter)
{
    QString whole = QString::fromStdString(filter);
    auto bar = whole.indexOf('|');
    if (bar < 0) return {whole};
    QStringList patterns = whole.mid(bar + 1).split(';');
    // "*.*" matches every file on the original platform, also one without an extension.
    for (QString& pattern : patterns)
        if (pattern == "*.*") pattern = "*";
    return {whole.left(bar) + " (" + patterns.join(' ') + ")"};
}

std::string toPath(const QString& path)
{
    QString absolute = path.isEmpty() ? path : QFileInfo(path).absoluteFilePath();
    return QFile::encodeName(absolute).toStdString();
}

QString fromPath(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }
