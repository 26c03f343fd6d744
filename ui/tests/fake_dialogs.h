// A test double of the dialog layer: answers file and text dialogs from
// queues (an empty answer cancels) and records what each dialog showed and
// every error box.
#pragma once

#include "dialogs.h"

#include <QStringList>
#include <deque>
#include <optional>

struct ShownFileDialog {
    QString name;
    QString fileName; // preset when shown
    QString filter;
};

class FakeDialogs : public DialogProvider {
public:
    FakeDialogs() { setDialogProvider(this); }
    ~FakeDialogs() override { setDialogProvider(nullptr); }

    std::deque<std::optional<QString>> fileAnswers;
    std::deque<std::optional<QString>> textAnswers;
    std::vector<ShownFileDialog> shown;
    QStringList inputsShown; // "caption|prompt|value"
    QStringList errors;

    bool executeFileDialog(TFileDialog& dialog) override
    {
        shown.push_back({dialog.Name, dialog.FileName, dialog.Filter});
        std::optional<QString> answer;
        if (!fileAnswers.empty()) {
            answer = fileAnswers.front();
            fileAnswers.pop_front();
        }
        if (!answer) return false;
        dialog.FileName = *answer;
        return true;
    }

    bool inputQuery(const QString& caption, const QString& prompt, QString& value) override
    {
        inputsShown << caption + "|" + prompt + "|" + value;
        std::optional<QString> answer;
        if (!textAnswers.empty()) {
            answer = textAnswers.front();
            textAnswers.pop_front();
        }
        if (!answer) return false;
        value = *answer;
        return true;
    }

    void showError(const QString& text) override { errors << text; }

    std::deque<std::optional<QStringList>> filesAnswers;
    std::deque<std::optional<QString>> folderAnswers;
    std::deque<bool> confirmAnswers;
    QStringList questions; // "caption|question"
    QStringList reports;   // "caption|text"

    bool chooseFiles(const QString&, QStringList& files) override { return take(filesAnswers, files); }
    bool chooseFolder(const QString&, QString& folder) override { return take(folderAnswers, folder); }

    bool confirm(const QString& caption, const QString& question) override
    {
        questions << caption + "|" + question;
        if (confirmAnswers.empty()) return false;
        bool answer = confirmAnswers.front();
        confirmAnswers.pop_front();
        return answer;
    }

    void showReport(const QString& caption, const QString& text) override { reports << caption + "|" + text; }

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
