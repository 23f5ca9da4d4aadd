#pragma once

#include "ftp_server.h"
#include "targets/ftp_session.h"
#include "temp_home.h"

#include <gtest/gtest.h>
#include <memory>

namespace fernhold::test {

inline std::string serverName(const ::testing::TestParamInfo<FtpServerKind>& info)
{
    return info.param == FtpServerKind::Pyftpdlib ? "pyftpdlib" : "vsftpd";
}

// Tests that run against each real server.
class BothServers : public ::testing::TestWithParam<FtpServerKind>
{
protected:
    void SetUp() override { FERNHOLD_REQUIRE_FTP_SERVER(GetParam()); }

    std::unique_ptr<FtpServer> startServer(FtpServerOptions options = {})
    {
        auto server = std::make_unique<FtpServer>(GetParam(), std::move(options));
        EXPECT_TRUE(server->started()) << server->error().toStdString();
        return server;
    }

    static std::unique_ptr<FtpSession> open(const FtpServer& server,
                                            FtpNameMode mode = FtpNameMode::Plain,
                                            const FtpSessionOptions& options = {})
    {
        return FtpOpen(server.host(), server.port(), server.user(), server.password(), mode,
                       options);
    }

    TempHome m_home;
};

// Tests that need pyftpdlib's scripted faults.
class ScriptedServer : public ::testing::Test
{
protected:
    void SetUp() override { FERNHOLD_REQUIRE_FTP_SERVER(FtpServerKind::Pyftpdlib); }

    static std::unique_ptr<FtpServer> startServer(FtpServerOptions options = {})
    {
        auto server = std::make_unique<FtpServer>(FtpServerKind::Pyftpdlib, std::move(options));
        EXPECT_TRUE(server->started()) << server->error().toStdString();
        return server;
    }

    static std::unique_ptr<FtpSession> open(const FtpServer& server,
                                            FtpNameMode mode = FtpNameMode::Plain,
                                            const FtpSessionOptions& options = {})
    {
        return FtpOpen(server.host(), server.port(), server.user(), server.password(), mode,
                       options);
    }

    TempHome m_home;
};

} // namespace fernhold::test
