// A test double of the window's dialogs: answers file and text dialogs from
// queues (an empty answer cancels) and records what each dialog showed and
// every error box, question and report. Installed while it lives.
#pragma once

#include "window/dialogs.h"

#include <deque>
#include <optional>
#include <string>
#include <vector>

struct ShownFileDialog {
    std::string name;
    std::string fileName; // preset when shown
    std::string filter;
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

    bool executeFileDialog(brimlet::FileDialog& dialog) override
    {
        shown.push_back({dialog.Name, dialog.FileName, dialog.Filter});
        return take(fileAnswers, dialog.FileName);
    }

    bool inputQuery(const std::string& caption, const std::string& prompt, std::string& value) override
    {
        inputsShown.push_back(caption + "|" + prompt + "|" + value);
        return take(textAnswers, value);
    }

    void showError(const std::string& text) override { errors.push_back(text); }

    bool chooseFiles(const std::string&, std::vector<std::string>& files) override { return take(filesAnswers, files); }
    bool chooseFolder(const std::string&, std::string& folder) override
    {
        foldersShown.push_back(folder);
        return take(folderAnswers, folder);
    }

    bool confirm(const std::string& caption, const std::string& question, bool yesByDefault) override
    {
        questions.push_back(caption + "|" + question + (yesByDefault ? "" : " [No]"));
        if (confirmAnswers.empty()) return false;
        bool answer = confirmAnswers.front();
        confirmAnswers.pop_front();
        return answer;
    }

    void showReport(const std::string& caption, const std::string& text) override
    {
        reports.push_back(caption + "|" + text);
    }

    // Cancels at step `stopAtStep` (counted from 1) of a stoppable command.
    size_t stopAtStep = 0;
    brimlet::Archive::Progress showProgress(const std::string& label, bool stoppable) override
    {
        progressShown.push_back(label + (stoppable ? " [Cancel]" : ""));
        if (!stoppable || stopAtStep == 0) return {};
        return [this, steps = size_t{0}](const brimlet::Archive::ProgressStep&) mutable {
            if (++steps == stopAtStep) throw brimlet::Stopped();
        };
    }

    std::deque<Existing> existingAnswers;
    Existing askAboutExisting(const std::string& caption, const std::string& question) override
    {
        questions.push_back(caption + "|" + question);
        if (existingAnswers.empty()) return Existing::Cancel;
        Existing answer = existingAnswers.front();
        existingAnswers.pop_front();
        return answer;
    }

private:
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
