#include "dialogs.h"

#include <QApplication>
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
#include <QVBoxLayout>

namespace {

class QtDialogProvider : public DialogProvider {
public:
    bool executeFileDialog(TFileDialog& d) override
    {
        QFileDialog dialog(d.Owner, QString(), QString(), qtFilterFrom(d.Filter));
        dialog.setObjectName(d.Name);
        // No overwrite question, and a typed name need not exist: a missing
        // file is reported by the command that opens it.
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setAcceptMode(d.DialogKind == TFileDialog::Kind::Save ? QFileDialog::AcceptSave
                                                                     : QFileDialog::AcceptOpen);
        preset(dialog, d.FileName);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
        d.FileName = dialog.selectedFiles().first();
        lastFolder_ = QFileInfo(d.FileName).absolutePath();
        return true;
    }

    bool inputQuery(const QString& caption, const QString& prompt, QString& value) override
    {
        QDialog dialog(QApplication::activeWindow());
        dialog.setWindowTitle(caption);
        auto* layout = new QVBoxLayout(&dialog);
        layout->addWidget(new QLabel(prompt, &dialog));
        auto* edit = new QLineEdit(value, &dialog);
        edit->setMaxLength(255);
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
        value = edit->text();
        return true;
    }

    void showError(const QString& text) override
    {
        QMessageBox box(QMessageBox::Critical, QApplication::applicationDisplayName(), breakable(text),
                        QMessageBox::Ok, QApplication::activeWindow());
        box.setWindowModality(Qt::ApplicationModal);
        box.exec();
    }

    bool chooseFiles(const QString& caption, QStringList& files) override
    {
        files = QFileDialog::getOpenFileNames(QApplication::activeWindow(), caption, lastFolder_);
        if (files.isEmpty()) return false;
        lastFolder_ = QFileInfo(files.first()).absolutePath();
        return true;
    }

    bool chooseFolder(const QString& caption, QString& folder) override
    {
        QString chosen = QFileDialog::getExistingDirectory(QApplication::activeWindow(), caption,
                                                           folder.isEmpty() ? lastFolder_ : folder);
        if (chosen.isEmpty()) return false;
        folder = chosen;
        return true;
    }

    bool confirm(const QString& caption, const QString& question) override
    {
        return QMessageBox::question(QApplication::activeWindow(), caption, question) == QMessageBox::Yes;
    }

    void showReport(const QString& caption, const QString& text) override
    {
        QDialog dialog(QApplication::activeWindow());
        dialog.setWindowTitle(caption);
        auto* layout = new QVBoxLayout(&dialog);
        auto* view = new QPlainTextEdit(text, &dialog);
        view->setReadOnly(true);
        view->setLineWrapMode(QPlainTextEdit::NoWrap);
        layout->addWidget(view);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
        QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
        layout->addWidget(buttons);
        dialog.resize(560, 360);
        dialog.exec();
    }

private:
    // A bare name opens in the folder last used, as the system's dialogs do;
    // a path opens in its folder, or in the nearest one that still exists,
    // and is shown whole.
    void preset(QFileDialog& dialog, const QString& fileName)
    {
        if (fileName.isEmpty()) {
            if (!lastFolder_.isEmpty()) dialog.setDirectory(lastFolder_);
            return;
        }
        QFileInfo info(fileName);
        if (!fileName.contains('/')) {
            if (!lastFolder_.isEmpty()) dialog.setDirectory(lastFolder_);
            dialog.selectFile(fileName);
            return;
        }
        QDir folder = info.absoluteDir();
        if (folder.exists()) {
            dialog.selectFile(info.absoluteFilePath());
            return;
        }
        while (!folder.exists() && folder.cdUp()) {
        }
        dialog.setDirectory(folder);
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

DialogProvider* installed = nullptr;

}  // namespace

DialogProvider& dialogs()
{
    static QtDialogProvider real;
    return installed ? *installed : real;
}

void setDialogProvider(DialogProvider* provider) { installed = provider; }

QString qtFilterFrom(const QString& filter)
{
    auto bar = filter.indexOf('|');
    if (bar < 0) return filter;
    QStringList patterns = filter.mid(bar + 1).split(';');
    // "*.*" matches every file on the original platform, also one without an extension.
    for (QString& pattern : patterns)
        if (pattern == "*.*") pattern = "*";
    return filter.left(bar) + " (" + patterns.join(' ') + ")";
}
