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
    virtual Archive::Progress showProgress(const std::string& label) = 0;
};

// The dialogs in use: a test's, when one is installed, or else the front
// end's own.
Dialogs& dialogs();
void setDialogs(Dialogs* dialogs);         // a test's; nullptr: back to the front end's
void setFrontEndDialogs(Dialogs* dialogs); // called once by the front end

}  // namespace brimlet
