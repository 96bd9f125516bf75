#include "scan/PluginInfo.h"

#include <gtest/gtest.h>

namespace {

TEST(PluginInfoTest, FreshRecordIsEmptyWithUnknownCategory)
{
    const CPluginInfo record;
    EXPECT_EQ(0, record.id);
    for (const CString* text : {&record.name, &record.vendor, &record.product, &record.version, &record.error}) {
        EXPECT_EQ(nullptr, text->GetText());
    }
    EXPECT_EQ(0, record.numInputs);
    EXPECT_EQ(0, record.numOutputs);
    EXPECT_FALSE(record.wantsMidi);
    EXPECT_FALSE(record.sendsMidi);
    EXPECT_FALSE(record.audio64);
    EXPECT_FALSE(record.synthEdit);
    EXPECT_EQ(-1, record.category);
    EXPECT_EQ(0, record.shells.GetCount());
    EXPECT_EQ(nullptr, record.shells.GetItems());
}

TEST(PluginInfoTest, DestroyingTheRecordReleasesEveryStringItHolds)
{
    CString shared;
    shared.Assign(u"Sub-plug-in");
    {
        CPluginInfo record;
        record.name = shared;
        record.vendor = shared;
        record.product = shared;
        record.version = shared;
        record.error = shared;
        for (int i = 0; i < 3; ++i) {
            CShellInfo* shell = new CShellInfo;
            shell->id = i;
            shell->name = shared;
            record.shells.Add(shell);
        }
        EXPECT_EQ(9, shared.GetReferenceCount());
        EXPECT_EQ(1, record.shells.GetAt(1)->id);
    }
    EXPECT_EQ(1, shared.GetReferenceCount()) << "the five fields and the three shell names are released";
}

} // namespace
