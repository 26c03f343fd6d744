// A test double of the window's dialogs: answers file and text dialogs from
// queues (an empty answer cancels) and records what each dialog showed and
// every error box, question and report. The window under test is given it
// in place of a front end's dialogs.
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

// A front end's real progress window with a hook that runs at each step,
// before the window handles what arrived: input made during the work.
class ProgressWithHook : public brimlet::ProgressWindow {
public:
    ProgressWithHook(std::unique_ptr<brimlet::ProgressWindow> real, std::function<void()> eachStep)
        : real_(std::move(real)), eachStep_(std::move(eachStep))
    {
    }
    void show(const std::string& text) override { real_->show(text); }
    void setPermille(unsigned permille) override { real_->setPermille(permille); }
    bool pump() override
    {
        eachStep_();
        return real_->pump();
    }

private:
    std::unique_ptr<brimlet::ProgressWindow> real_;
    std::function<void()> eachStep_;
};

struct ShownFileDialog {
    std::string name;
    std::string fileName; // preset when shown
    std::string filter;
    std::string initialFolder;
};

class FakeDialogs : public brimlet::Dialogs {
public:
    std::deque<std::optional<std::string>> fileAnswers;
    std::deque<std::optional<std::string>> textAnswers;
    std::vector<ShownFileDialog> shown;
    std::vector<std::string> inputsShown; // "caption|prompt|value"
    std::vector<int> inputLimits;          // the longest text each input box took
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

    bool inputQuery(const std::string& caption, const std::string& prompt, std::string& value, int maxLength) override
    {
        noProgressAlive("an input box");
        if (whileShown) whileShown();
        inputsShown.push_back(caption + "|" + prompt + "|" + value);
        inputLimits.push_back(maxLength);
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

    // Cancels at step `stopAtStep` (counted from 1) of a stoppable command;
    // the behaviour decides what a Cancel does to a command that cannot be
    // stopped.
    size_t stopAtStep = 0;
    std::vector<std::string> progressTexts; // what each progress window showed, once shown
    std::unique_ptr<brimlet::ProgressWindow> openProgress(const std::string& label, bool stoppable) override
    {
        noProgressAlive("another progress window");
        progressShown.push_back(label + (stoppable ? " [Cancel]" : ""));
        return std::make_unique<FakeProgress>(*this);
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
    // Alive while the command's progress callback (or a copy of it) is.
    class FakeProgress : public brimlet::ProgressWindow {
    public:
        explicit FakeProgress(FakeDialogs& dialogs) : dialogs_(dialogs) { ++dialogs_.progressAlive; }
        ~FakeProgress() override { --dialogs_.progressAlive; }
        void show(const std::string& text) override { dialogs_.progressTexts.push_back(text); }
        void setPermille(unsigned) override {}
        bool pump() override { return ++steps_ == dialogs_.stopAtStep; }

    private:
        FakeDialogs& dialogs_;
        size_t steps_ = 0;
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
