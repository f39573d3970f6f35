#include "ExtensionOf.h"

namespace {

template <typename View>
View extensionOf(View path)
{
    for (auto i = path.size(); i > 0; --i) {
        const auto c = path[i - 1];
        if (c == '/')
            break;
        if (c == '.')
            return path.sliced(i);
    }
    return View();
}

} // namespace

QStringView ExtensionOf(QStringView path)
{
    return extensionOf(path);
}

QByteArrayView ExtensionOf(QByteArrayView path)
{
    return extensionOf(path);
}
