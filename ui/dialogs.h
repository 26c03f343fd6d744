// The dialogs the window asks the user through, behind one small interface
// so that tests can answer them.
//
// `TFileDialog` is a standard file dialog as the window's components use it:
// a filter in "text|patterns" form and a file name that it keeps between uses,
// also when cancelled. `DialogProvider` shows the dialogs; the program uses
// the real Qt dialogs, tests install their own.
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

class TFileDialog;

class DialogProvider {
public:
    virtual ~DialogProvider() = default;
    // Shows the dialog; on OK stores the chosen path in its FileName.
    virtual bool executeFileDialog(TFileDialog& dialog) = 0;
    // The text-input dialog: true and the edited text only on OK.
    virtual bool inputQuery(const QString& caption, const QString& prompt, QString& value) = 0;
    // The error box: caption "Brimlet", stop icon, one OK button.
    virtual void showError(const QString& text) = 0;

    // For the entry list's menu: several existing files; a folder; a
    // question answered Yes or No; and a report to read.
    virtual bool chooseFiles(const QString& caption, QStringList& files) = 0;
    virtual bool chooseFolder(const QString& caption, QString& folder) = 0;
    virtual bool confirm(const QString& caption, const QString& question) = 0;
    virtual void showReport(const QString& caption, const QString& text) = 0;
};

// The provider in use; the real dialogs unless a test installed its own.
DialogProvider& dialogs();
void setDialogProvider(DialogProvider* provider); // nullptr: back to the real dialogs

class TFileDialog {
public:
    enum class Kind { Open, Save };

    TFileDialog(QWidget* owner, const QString& objectName, Kind kind, const QString& filter)
        : Owner(owner), Name(objectName), DialogKind(kind), Filter(filter)
    {
    }

    bool Execute() { return dialogs().executeFileDialog(*this); }

    QWidget* Owner;
    QString Name;
    Kind DialogKind;
    QString Filter; // "display text|pattern;pattern"
    QString FileName;
};

// "text|*.a;*.b" as Qt writes it: "text (*.a *.b)".
QString qtFilterFrom(const QString& filter);
