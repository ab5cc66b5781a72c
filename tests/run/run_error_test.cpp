#include "run/run_error.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace qz {
namespace {

TEST(RunErrorTest, ReportNamesClassModuleAddressAndMessage) {
  EXPECT_EQ(fileErrorReport("qzturns", FileFailurePlace::kCreating, 3),
            "Exception EInOutError in module qzturns at 00404C20.\r\nInvalid filename.\r\n\r\n");
  EXPECT_EQ(fileErrorReport("qz", FileFailurePlace::kWriting, 101),
            "Exception EInOutError in module qz at 00404C64.\r\nDisk full.\r\n\r\n");
}

TEST(RunErrorTest, MessagesFollowTheTable) {
  EXPECT_EQ(fileErrorMessage(2), "File not found");
  EXPECT_EQ(fileErrorMessage(3), "Invalid filename");
  EXPECT_EQ(fileErrorMessage(4), "Too many open files");
  EXPECT_EQ(fileErrorMessage(5), "File access denied");
  EXPECT_EQ(fileErrorMessage(100), "Read beyond end of file");
  EXPECT_EQ(fileErrorMessage(101), "Disk full");
  EXPECT_EQ(fileErrorMessage(106), "Invalid numeric input");
  EXPECT_EQ(fileErrorReport("q", FileFailurePlace::kReading, 71),
            "Exception EInOutError in module q at 00403A58.\r\nI/O error 71.\r\n\r\n");
}

TEST(RunErrorTest, SystemErrorsMapOntoTheTable) {
  EXPECT_EQ(fileErrorCode(ENOENT, FileAccess::kWriting), 3);  // a missing folder
  EXPECT_EQ(fileErrorCode(ENOENT, FileAccess::kReading), 2);
  EXPECT_EQ(fileErrorCode(ENOTDIR, FileAccess::kWriting), 3);
  EXPECT_EQ(fileErrorCode(EACCES, FileAccess::kReading), 5);
  EXPECT_EQ(fileErrorCode(ENOSPC, FileAccess::kWriting), 101);
  EXPECT_EQ(fileErrorCode(EFBIG, FileAccess::kWriting), 101);
  EXPECT_EQ(fileErrorCode(EMFILE, FileAccess::kReading), 4);
  EXPECT_EQ(fileErrorCode(EIO, FileAccess::kWriting), EIO);
}

}  // namespace
}  // namespace qz
