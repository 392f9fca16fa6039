#include "platform/tmppath.h"

#include <QFileInfo>
#include <cstdlib>

namespace platform {

QString TmpFilePath()
{
    const char *env = std::getenv("TMPDIR");
    const QString dir = (env && *env) ? QString::fromLocal8Bit(env) : QStringLiteral("/tmp");
    const QFileInfo info(dir);
    if (!info.isDir())
        return {};
    QString canonical = info.canonicalFilePath();
    if (canonical.isEmpty())
        return {};
    if (!canonical.endsWith(u'/'))
        canonical += u'/';
    return canonical;
}

} // namespace platform
