#include "error_handler.h"

#include "dialogs.h"

QString messageWithPeriod(const QString& message)
{
    if (!message.isEmpty() && message.back().unicode() > '.') return message + '.';
    return message;
}

void showFailure(const std::exception& failure)
{
    // Messages carry paths and names as the file system gives them.
    dialogs().showError(messageWithPeriod(QString::fromLocal8Bit(failure.what())));
}
