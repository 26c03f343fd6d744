#include "dialogs.h"

#include "presentation.h"
#include "wording.h"

#include <chrono>

namespace brimlet {

namespace {

// Shows the window once the work has lasted a moment: a short command
// flashes no window.
class ShownProgress {
public:
    ShownProgress(std::unique_ptr<ProgressWindow> window, std::string text, bool stoppable)
        : window_(std::move(window)), text_(std::move(text)), stoppable_(stoppable),
          started_(std::chrono::steady_clock::now())
    {
    }

    void step(unsigned permille)
    {
        if (!shown_ && std::chrono::steady_clock::now() - started_ >=
                           std::chrono::milliseconds(presentation::kShowProgressAfterMs)) {
            window_->show(text_);
            shown_ = true;
        }
        if (shown_) window_->setPermille(permille);
        if (window_->pump() && stoppable_) throw Stopped(); // a command that cannot be stopped goes on
    }

private:
    std::unique_ptr<ProgressWindow> window_;
    std::string text_;
    bool stoppable_;
    std::chrono::steady_clock::time_point started_;
    bool shown_ = false;
};

}  // namespace

std::string progressText(const std::string& label, bool stoppable)
{
    return stoppable ? label : label + "\n" + kCannotBeStopped;
}

Archive::Progress Dialogs::showProgress(const std::string& label, bool stoppable)
{
    auto progress = std::make_shared<ShownProgress>(openProgress(label, stoppable), progressText(label, stoppable),
                                                    stoppable);
    return [progress](const Archive::ProgressStep& step) { progress->step(step.permille()); };
}

}  // namespace brimlet
