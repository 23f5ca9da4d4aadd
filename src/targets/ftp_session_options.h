#pragma once

#include <chrono>
#include <functional>

namespace fernhold {

// Time limits and the stop check of one FTP session.
struct FtpSessionOptions
{
    // Polled about once a second during every exchange; true ends it.
    std::function<bool()> stopRequested;
    std::chrono::seconds connectTimeout{30};
    // An exchange that moves no byte and gets no reply this long is ended.
    std::chrono::seconds stallTimeout{60};
};

} // namespace fernhold
