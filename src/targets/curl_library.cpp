#include "targets/curl_library.h"

#include "targets/targets_logging.h"

#include <dlfcn.h>
#include <mutex>

namespace fernhold {

namespace {

template <typename Function> bool resolve(void* library, const char* name, Function& target)
{
    target = reinterpret_cast<Function>(::dlsym(library, name));
    return target != nullptr;
}

const CurlLibrary* load()
{
    void* library = ::dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        qCWarning(lcFtp) << "cannot load libcurl:" << ::dlerror();
        return nullptr;
    }
    static CurlLibrary api;
    const bool complete = resolve(library, "curl_global_init", api.global_init) &&
                          resolve(library, "curl_easy_init", api.easy_init) &&
                          resolve(library, "curl_easy_setopt", api.easy_setopt) &&
                          resolve(library, "curl_easy_perform", api.easy_perform) &&
                          resolve(library, "curl_easy_getinfo", api.easy_getinfo) &&
                          resolve(library, "curl_easy_cleanup", api.easy_cleanup) &&
                          resolve(library, "curl_easy_strerror", api.easy_strerror) &&
                          resolve(library, "curl_slist_append", api.slist_append) &&
                          resolve(library, "curl_slist_free_all", api.slist_free_all);
    if (!complete || api.global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
        qCWarning(lcFtp) << "libcurl is incomplete or cannot be initialised";
        return nullptr;
    }
    return &api; // stays loaded for the rest of the process
}

} // namespace

const CurlLibrary* LoadCurl()
{
    static std::once_flag once;
    static const CurlLibrary* api = nullptr;
    std::call_once(once, [] { api = load(); });
    return api;
}

} // namespace fernhold
