#include "mpvlibrary.h"

#include "programerror.h"

#include <dlfcn.h>

#include <map>
#include <memory>
#include <mutex>

namespace {

QString loaderError()
{
    const char* reason = dlerror();
    return reason ? QString::fromLocal8Bit(reason) : QStringLiteral("unknown reason");
}

[[noreturn]] void fail(const QString& fileName, const QString& reason)
{
    throw ProgramError(QStringLiteral("The media engine (%1) could not be loaded: %2").arg(fileName, reason));
}

template <typename Function> void resolve(void* handle, const QString& fileName, const char* symbol, Function& function)
{
    dlerror();
    function = reinterpret_cast<Function>(dlsym(handle, symbol));
    if (function == nullptr) {
        fail(fileName, loaderError());
    }
}

std::unique_ptr<MpvLibrary> open(const QString& fileName)
{
    // Lazy binding: the engine's own calls into its dependencies are resolved when first made,
    // not all at load time. The library is never closed (see the header).
    void* handle = dlopen(fileName.toLocal8Bit().constData(), RTLD_LAZY | RTLD_LOCAL | RTLD_NODELETE);
    if (handle == nullptr) {
        fail(fileName, loaderError());
    }
    auto library = std::make_unique<MpvLibrary>();
#define MARROWLARK_MPV_RESOLVE(name) resolve(handle, fileName, "mpv_" #name, library->name);
    MARROWLARK_MPV_FUNCTIONS(MARROWLARK_MPV_RESOLVE)
#undef MARROWLARK_MPV_RESOLVE
    const unsigned long major = library->client_api_version() >> 16;
    if (major != MPV_CLIENT_API_VERSION >> 16) {
        fail(fileName, QStringLiteral("it speaks client API %1, the program needs %2")
                           .arg(major)
                           .arg(MPV_CLIENT_API_VERSION >> 16));
    }
    return library;
}

} // namespace

const MpvLibrary& loadMpvLibrary(const QString& fileName)
{
    static std::mutex mutex;
    static std::map<QString, std::unique_ptr<MpvLibrary>> loaded;
    const std::lock_guard lock(mutex);
    auto& library = loaded[fileName];
    if (!library) {
        library = open(fileName);
    }
    return *library;
}
