#include <gtest/gtest.h>

#include "mainwindow/frm_main.h"

namespace vellumar {
namespace {

TEST(FrmMain, CaptionNamesTheProgram)
{
    TfrmMain frm;
    EXPECT_EQ(frm.windowTitle(), QStringLiteral("Vellumar"));
}

} // namespace
} // namespace vellumar
