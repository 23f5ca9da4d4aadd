#pragma once

#include <curl/curl.h>

namespace fernhold {

// libcurl's entry points. The library and the two dozen libraries it pulls
// in (TLS, Kerberos, LDAP ...) take about 9 ms to load and initialise, which
// every start of the program would pay; so it is loaded the first time an FTP
// session needs it.
struct CurlLibrary
{
    CURLcode (*global_init)(long flags) = nullptr;
    CURL* (*easy_init)() = nullptr;
    CURLcode (*easy_setopt)(CURL* handle, CURLoption option, ...) = nullptr;
    CURLcode (*easy_perform)(CURL* handle) = nullptr;
    CURLcode (*easy_getinfo)(CURL* handle, CURLINFO info, ...) = nullptr;
    void (*easy_cleanup)(CURL* handle) = nullptr;
    const char* (*easy_strerror)(CURLcode code) = nullptr;
    curl_slist* (*slist_append)(curl_slist* list, const char* text) = nullptr;
    void (*slist_free_all)(curl_slist* list) = nullptr;
};

// libcurl, loaded and globally initialised on the first call; nullptr when it
// cannot be loaded (then no FTP session can be opened).
[[nodiscard]] const CurlLibrary* LoadCurl();

} // namespace fernhold
