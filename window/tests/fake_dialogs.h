// A test double of the window's dialogs: answers file and text dialogs from
// queues (an empty answer cancels) and records what each dialog showed and
// every error box, question and report. Installed while it lives.
//
// It keeps the interface's rule as the real dialogs need it kept: while a
// progress window lives (its callback has not gone), no other dialog may be
// shown (the real progress window would sit on top of it, its input filter
// eating the other's clicks). A test that breaks it ends at once, saying so.
#pragma once

#include "window/dialogs.h"

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct ShownFileDialog {
    std::string name;
    std::string fileName; // preset when shown
    std::string filter;
    std::string initialFolder;
};

class FakeDialogs : public brimlet::Dialogs {
public:
    FakeDialogs() { brimlet::setDialogs(this); }
    ~FakeDialogs() override { brimlet::setDialogs(nullptr); }

    std::deque<std::optional<std::string>> fileAnswers;
    std::deque<std::optional<std::string>> textAnswers;
    std::vector<ShownFileDialog> shown;
    std::vector<std::string> inputsShown; // "caption|prompt|value"
    std::vector<std::string> errors;

    std::deque<std::optional<std::vector<std::string>>> filesAnswers;
    std::deque<std::optional<std::string>> folderAnswers;
    std::deque<bool> confirmAnswers;
    std::vector<std::string> questions; // "caption|question"
    std::vector<std::string> reports;   // "caption|text"
    std::vector<std::string> progressShown;
    std::vector<std::string> foldersShown; // the folder each folder dialog was preset to
    // Run as each file dialog, input box and Yes/No question shows: what
    // arrives while the dialog is up (a drop, a close).
    std::function<void()> whileShown;

    bool executeFileDialog(brimlet::FileDialog& dialog) override
    {
        noProgressAlive("a file dialog");
        if (whileShown) whileShown();
        shown.push_back({dialog.Name, dialog.FileName, dialog.Filter, dialog.InitialFolder});
        return take(fileAnswers, dialog.FileName);
    }

    bool inputQuery(const std::string& caption, const std::string& prompt, std::string& value) override
    {
        noProgressAlive("an input box");
        if (whileShown) whileShown();
        inputsShown.push_back(caption + "|" + prompt + "|" + value);
        return take(textAnswers, value);
    }

    void showError(const std::string& text) override
    {
        noProgressAlive("an error box");
        errors.push_back(text);
    }

    bool chooseFiles(const std::string&, std::vector<std::string>& files) override
    {
        noProgressAlive("a files dialog");
        return take(filesAnswers, files);
    }
    bool chooseFolder(const std::string&, std::string& folder) override
    {
        noProgressAlive("a folder dialog");
        foldersShown.push_back(folder);
        return take(folderAnswers, folder);
    }

    bool confirm(const std::string& caption, const std::string& question, bool yesByDefault) override
    {
        noProgressAlive("a question");
        if (whileShown) whileShown();
        questions.push_back(caption + "|" + question + (yesByDefault ? "" : " [No]"));
        if (confirmAnswers.empty()) return false;
        bool answer = confirmAnswers.front();
        confirmAnswers.pop_front();
        return answer;
    }

    void showReport(const std::string& caption, const std::string& text) override
    {
        noProgressAlive("a report");
        reports.push_back(caption + "|" + text);
    }

    // Cancels at step `stopAtStep` (counted from 1) of a stoppable command.
    size_t stopAtStep = 0;
    brimlet::Archive::Progress showProgress(const std::string& label, bool stoppable) override
    {
        noProgressAlive("another progress window");
        progressShown.push_back(label + (stoppable ? " [Cancel]" : ""));
        // Alive while any copy of the callback is.
        auto alive = std::make_shared<Alive>(progressAlive);
        return [this, alive, stoppable, steps = size_t{0}](const brimlet::Archive::ProgressStep&) mutable {
            if (stoppable && ++steps == stopAtStep) throw brimlet::Stopped();
        };
    }

    std::deque<Existing> existingAnswers;
    Existing askAboutExisting(const std::string& caption, const std::string& question) override
    {
        noProgressAlive("a question");
        questions.push_back(caption + "|" + question);
        if (existingAnswers.empty()) return Existing::Cancel;
        Existing answer = existingAnswers.front();
        existingAnswers.pop_front();
        return answer;
    }

    int progressAlive = 0; // progress windows whose callback lives

private:
    struct Alive {
        explicit Alive(int& count) : count_(count) { ++count_; }
        ~Alive() { --count_; }
        int& count_;
    };

    void noProgressAlive(const char* what) const
    {
        if (progressAlive == 0) return;
        std::fprintf(stderr, "FakeDialogs: %s was shown while a progress window was alive\n", what);
        std::abort();
    }

    // The next answer into `out`; false when it cancels (or none is left).
    template <typename T>
    static bool take(std::deque<std::optional<T>>& answers, T& out)
    {
        if (answers.empty()) return false;
        bool given = answers.front().has_value();
        if (given) out = std::move(*answers.front());
        answers.pop_front();
        return given;
    }
};
