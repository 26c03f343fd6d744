#include "dialogs.h"

#include "archive/errors.h"

namespace brimlet {

namespace {
Dialogs* installed = nullptr;
Dialogs* frontEnd = nullptr;
}  // namespace

Dialogs& dialogs()
{
    if (installed) return *installed;
    if (!frontEnd) throw Failure("No dialogs to ask the user with");
    return *frontEnd;
}

void setDialogs(Dialogs* d) { installed = d; }
void setFrontEndDialogs(Dialogs* d) { frontEnd = d; }

bool FileDialog::Execute() { return dialogs().executeFileDialog(*this); }

}  // namespace brimlet
