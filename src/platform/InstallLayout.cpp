#include "platform/InstallLayout.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

QString installedDataFolder(const QString &executableDir)
{
    if (executableDir.isEmpty())
        return {};
    // The path from the install's bin folder to its data folder, fixed when the build was set up.
    const QString folder =
        QDir::cleanPath(executableDir + u'/' + QString::fromUtf8(LARKSPUR_DATA_FROM_BINDIR));
    return QFileInfo(folder).isDir() ? folder : QString();
}
