// The dialogs the window asks the user through, in UTF-8 text, behind one
// small interface: each front end shows its toolkit's dialogs, tests answer
// them from a queue.
#pragma once

#include "archive/archive.h"

#include <string>
#include <vector>

namespace brimlet {

// A standard file dialog as the window uses it: a filter in "text|patterns"
// form and a file name that it keeps between uses, also when cancelled.
struct FileDialog {
    enum class Kind { Open, Save };

    std::string Name; // "OpenDialog1", ...
    Kind DialogKind = Kind::Open;
    std::string Filter; // "display text|pattern;pattern"
    std::string FileName;
    // Where the dialog opens when FileName is a bare name (or empty); empty:
    // where the system's dialog opens by itself.
    std::string InitialFolder;

    bool Execute();
};

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Shows the dialog; on OK stores the chosen path in its FileName.
    virtual bool executeFileDialog(FileDialog& dialog) = 0;
    // The text-input dialog: true and the edited text only on OK.
    virtual bool inputQuery(const std::string& caption, const std::string& prompt, std::string& value) = 0;
    // The error box: caption "Brimlet", stop icon, one OK button.
    virtual void showError(const std::string& text) = 0;

    // For the entry list's menu: several existing files; a folder; a
    // question answered Yes or No; a report to read; and a progress
    // window, shown while the returned callback lives when the work lasts.
    virtual bool chooseFiles(const std::string& caption, std::vector<std::string>& files) = 0;
    virtual bool chooseFolder(const std::string& caption, std::string& folder) = 0;
    // `yesByDefault` false: No is the answer Enter gives.
    virtual bool confirm(const std::string& caption, const std::string& question, bool yesByDefault) = 0;
    virtual void showReport(const std::string& caption, const std::string& text) = 0;
    // A `stoppable` command's window has a Cancel button (Esc and closing
    // the window cancel too): the callback then throws Stopped at the next
    // step. Others say that they cannot be stopped, and cannot be closed.
    virtual Archive::Progress showProgress(const std::string& label, bool stoppable) = 0;
    // Files already in the way of Export all: overwrite them, skip their
    // entries, or cancel; closing the box cancels.
    enum class Existing { Overwrite, Skip, Cancel };
    virtual Existing askAboutExisting(const std::string& caption, const std::string& question) = 0;
};

// What a stoppable command's progress throws once the user cancelled it.
struct Stopped {};

// The dialogs in use: a test's, when one is installed, or else the front
// end's own.
Dialogs& dialogs();
void setDialogs(Dialogs* dialogs);         // a test's; nullptr: back to the front end's
void setFrontEndDialogs(Dialogs* dialogs); // called once by the front end

}  // namespace brimlet
