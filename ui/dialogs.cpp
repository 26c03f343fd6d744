#include "dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
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
        if (!d.FileName.isEmpty()) dialog.selectFile(d.FileName);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
        d.FileName = dialog.selectedFiles().first();
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
        QMessageBox box(QMessageBox::Critical, QApplication::applicationDisplayName(), text, QMessageBox::Ok,
                        QApplication::activeWindow());
        box.setWindowModality(Qt::ApplicationModal);
        box.exec();
    }
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
    QString patterns = filter.mid(bar + 1);
    patterns.replace(';', ' ');
    return filter.left(bar) + " (" + patterns + ")";
}
