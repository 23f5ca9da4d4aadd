#include "platform/network_folder.h"

#include <gtest/gtest.h>

namespace fernhold {

namespace {

const QString kMounts = QStringLiteral("/dev/sda1 / ext4 rw,relatime 0 0\n"
                                       "server:/export /mnt/nfs nfs4 rw 0 0\n"
                                       "//nas/share /mnt/smb cifs rw 0 0\n"
                                       "ann@host:/data /home/ann/remote fuse.sshfs rw 0 0\n"
                                       "/dev/sdb1 /mnt/nfs/local ext4 rw 0 0\n"
                                       "//nas/b /mnt/my\\040share cifs rw 0 0\n");

} // namespace

TEST(NetworkFolder, ToldFromTheMountThatHoldsTheFolder)
{
    EXPECT_FALSE(IsNetworkFolder(QStringLiteral("/home/ann/Docs/"), kMounts));
    EXPECT_TRUE(IsNetworkFolder(QStringLiteral("/mnt/nfs/projects/"), kMounts));
    EXPECT_TRUE(IsNetworkFolder(QStringLiteral("/mnt/nfs"), kMounts));
    EXPECT_TRUE(IsNetworkFolder(QStringLiteral("/mnt/smb/x/"), kMounts));
    EXPECT_TRUE(IsNetworkFolder(QStringLiteral("/home/ann/remote/a/"), kMounts));
    // A local disk mounted below a network mount is local.
    EXPECT_FALSE(IsNetworkFolder(QStringLiteral("/mnt/nfs/local/a/"), kMounts));
    // A name that only begins like a mount point is not below it.
    EXPECT_FALSE(IsNetworkFolder(QStringLiteral("/mnt/nfsother/"), kMounts));
    // Blanks in mount points come escaped.
    EXPECT_TRUE(IsNetworkFolder(QStringLiteral("/mnt/my share/a/"), kMounts));
}

} // namespace fernhold
