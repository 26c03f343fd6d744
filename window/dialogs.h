// The dialogs the window asks the user through, in UTF-8 text, behind one
// small interface: each front end shows its toolkit's dialogs, tests answer
// them from a queue.
#pragma once

#include "archive/archive.h"

#include <memory>
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
    // Options besides a hidden read-only box and a sizable dialog. The
    // window's dialogs neither ask before overwriting a file nor require a
    // typed name to exist: a missing file is reported by the command that
    // opens it.
    bool AsksBeforeOverwriting = false;
    bool TypedNameMustExist = false;
};

// A progress window as a front end draws it. It is made, hidden, when a
// long command starts; from then until it goes, input meant for any other
// window of the program is dropped, never run afterwards. The behaviour
// shows it once the work has lasted a moment.
class ProgressWindow {
public:
    virtual ~ProgressWindow() = default;
    virtual void show(const std::string& text) = 0;
    virtual void setPermille(unsigned permille) = 0;
    // Handles what arrived meanwhile (painting, the Cancel button); true
    // once the user has asked to stop (Cancel, Esc, the close box).
    virtual bool pump() = 0;
};

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Shows the dialog; on OK stores the chosen path in its FileName.
    virtual bool executeFileDialog(FileDialog& dialog) = 0;
    // The text-input dialog, its field taking at most `maxLength` characters:
    // true and the edited text only on OK.
    virtual bool inputQuery(const std::string& caption, const std::string& prompt, std::string& value,
                            int maxLength) = 0;
    // The error box: caption "Brimlet", stop icon, one OK button.
    virtual void showError(const std::string& text) = 0;

    // For the entry list's menu: several existing files; a folder (opened
    // where `folder` says); a question answered Yes or No; a report to read.
    virtual bool chooseFiles(const std::string& caption, std::vector<std::string>& files) = 0;
    virtual bool chooseFolder(const std::string& caption, std::string& folder) = 0;
    // `yesByDefault` false: No is the answer Enter gives.
    virtual bool confirm(const std::string& caption, const std::string& question, bool yesByDefault) = 0;
    virtual void showReport(const std::string& caption, const std::string& text) = 0;
    // A progress window for the command `label` ("Adding the file..."), made
    // hidden. A `stoppable` one has a Cancel button and closes as a Cancel;
    // another cannot be closed.
    virtual std::unique_ptr<ProgressWindow> openProgress(const std::string& label, bool stoppable) = 0;
    // The progress of a command, alive while the returned callback (or a copy
    // of it) lives: shown once the work has lasted kShowProgressAfterMs, with
    // the label, and for a command that cannot be stopped a line that says
    // so. A stoppable command's callback throws Stopped at the step after the
    // user cancelled.
    Archive::Progress showProgress(const std::string& label, bool stoppable);
    // Files already in the way of Export all: overwrite them, skip their
    // entries, or cancel; closing the box cancels.
    enum class Existing { Overwrite, Skip, Cancel };
    virtual Existing askAboutExisting(const std::string& caption, const std::string& question) = 0;
};

// What a stoppable command's progress throws once the user cancelled it.
struct Stopped {};

// What the progress window of a command shows.
std::string progressText(const std::string& label, bool stoppable);

}  // namespace brimlet
