// What the window's behaviour needs of a front end's controls: the two
// lists' selections, the captions and the search text, focus, and word of
// each change so that the lists repaint. All text is UTF-8.
#pragma once

#include "archive/archive.h"

#include <string>
#include <vector>

namespace brimlet {

class WindowView {
public:
    virtual ~WindowView() = default;

    // The entry list `List`: its selected row (-1 for none), and selecting
    // one (a row outside the list clears the selection).
    virtual int selectedEntry() const = 0;
    virtual void selectEntry(int row) = 0;
    // Every selected row, ascending (Ctrl+click and Shift+click select
    // several); selecting one row with selectEntry clears the others.
    virtual std::vector<int> selectedEntries() const = 0;
    // Just before and just after the entry table changes.
    virtual void entriesChanging(const TableChange& change, bool before) = 0;
    // The caption of the entry list's group box.
    virtual void setEntriesCaption(const std::string& caption) = 0;

    // The search field `inp_find` and the results list `ListBox1`.
    virtual std::string searchText() const = 0;
    // Sets the field's text; a change raises the field's change event as
    // typing would.
    virtual void setSearchText(const std::string& text) = 0;
    virtual int selectedResult() const = 0;
    virtual void resultsChanging(bool before) = 0;

    virtual void focusEntries() = 0;
    virtual void focusResults() = 0;
};

// Where the three remembered strings live ("imgfile", "lastfile", "find"):
// the registry key "software\HOX Development\brimlet" on Windows, a
// settings file elsewhere. Every call may throw; the window swallows it.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // Opens the store, creating it when missing.
    virtual void open() = 0;
    // A missing value reads as "".
    virtual std::string read(const std::string& name) = 0;
    virtual void write(const std::string& name, const std::string& value) = 0;
};

}  // namespace brimlet
