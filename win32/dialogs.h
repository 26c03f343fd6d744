// The Windows window's dialogs: the common file dialogs, a text-input
// dialog, MessageBoxW for errors and questions, a report window and a
// progress window; and the registry as the settings store.
#pragma once

#include "window/dialogs.h"
#include "window/window_view.h"

#include <windows.h>

namespace brimlet::win32 {

class Win32Dialogs : public Dialogs {
public:
    // Every dialog and box is owned by `owner`, which is disabled while it shows.
    void setOwner(HWND owner) { owner_ = owner; }

    bool executeFileDialog(FileDialog& dialog) override;
    bool inputQuery(const std::string& caption, const std::string& prompt, std::string& value, int maxLength) override;
    void showError(const std::string& text) override;
    bool chooseFiles(const std::string& caption, std::vector<std::string>& files) override;
    bool chooseFolder(const std::string& caption, std::string& folder) override;
    bool confirm(const std::string& caption, const std::string& question, bool yesByDefault) override;
    void showReport(const std::string& caption, const std::string& text) override;
    std::unique_ptr<ProgressWindow> openProgress(const std::string& label, bool stoppable) override;
    Existing askAboutExisting(const std::string& caption, const std::string& question) override;

    static void registerClasses();

private:
    HWND owner_ = nullptr;
};

// HKEY_CURRENT_USER\software\HOX Development\brimlet, values of REG_SZ.
class RegistrySettings : public SettingsStore {
public:
    ~RegistrySettings() override;
    void open() override;
    std::string read(const std::string& name) override;
    void write(const std::string& name, const std::string& value) override;

private:
    HKEY key_ = nullptr;
};

}  // namespace brimlet::win32
