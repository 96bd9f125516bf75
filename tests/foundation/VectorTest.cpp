#include "foundation/Vector.h"

#include "ContainerTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using COwningVector = CVector<CTracked*, SOwnedPtr, CTracked*>;
using CReferenceVector = CVector<CTracked*, SValue, CTracked*>;

std::string Bytes(int slots) { return std::to_string(slots * static_cast<int>(sizeof(void*))); }

TEST(VectorTest, StartsEmptyAndFreesNothing)
{
    CEventLog events;
    {
        CRecordingHeap heap(events);
        COwningVector vector;
        EXPECT_EQ(0, vector.GetCount());
        EXPECT_EQ(0, vector.GetCapacity());
        EXPECT_EQ(nullptr, vector.GetItems());
    }
    EXPECT_TRUE(events.empty());
}

TEST(VectorTest, GrowsTo16Then34Then70Then142)
{
    struct CStep {
        int count;    // elements after the Add
        int capacity; // slots expected then
    };
    const CStep steps[] = {{1, 16}, {16, 16}, {17, 34}, {34, 34}, {35, 70}, {70, 70}, {71, 142}, {142, 142}, {143, 286}};

    CEventLog events;
    CRecordingHeap heap(events);
    int slots[143];
    CVector<int*, SValue, int*> vector;
    int added = 0;
    for (const CStep& step : steps) {
        while (added < step.count) {
            vector.Add(&slots[added]);
            ++added;
        }
        EXPECT_EQ(step.count, vector.GetCount());
        EXPECT_EQ(step.capacity, vector.GetCapacity()) << "after " << step.count << " elements";
    }
    for (int i = 0; i < added; ++i) {
        ASSERT_EQ(&slots[i], vector.GetAt(i)) << "element " << i << " survives the growth";
    }
    const CEventLog expected = {"allocate #1 " + Bytes(16), "reallocate #1 " + Bytes(34),
                                "reallocate #1 " + Bytes(70), "reallocate #1 " + Bytes(142),
                                "reallocate #1 " + Bytes(286)};
    EXPECT_EQ(expected, events);
}

TEST(VectorTest, OwningVectorDeletesElementsInIndexOrderSkippingNullsThenFreesArray)
{
    CEventLog events;
    {
        CRecordingHeap heap(events);
        COwningVector vector;
        vector.Add(new CTracked(0, events));
        vector.Add(nullptr);
        vector.Add(new CTracked(2, events));
        vector.Add(new CTracked(3, events));
        vector.Add(nullptr);
        vector.Add(new CTracked(5, events));
        EXPECT_EQ(6, vector.GetCount());
        EXPECT_EQ(2, vector.GetAt(2)->GetId());
        events.clear();
    }
    const CEventLog expected = {"delete 0", "delete 2", "delete 3", "delete 5", "free #1"};
    EXPECT_EQ(expected, events);
}

TEST(VectorTest, OwningVectorDeletesEveryElementAcrossGrowth)
{
    CEventLog events;
    {
        CRecordingHeap heap(events);
        COwningVector vector;
        for (int i = 0; i < 40; ++i) {
            vector.Add(new CTracked(i, events));
        }
        events.clear();
    }
    ASSERT_EQ(41u, events.size());
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ("delete " + std::to_string(i), events[static_cast<std::size_t>(i)]);
    }
    EXPECT_EQ("free #1", events.back());
}

TEST(VectorTest, ReferencingVectorLeavesElementsAlive)
{
    CEventLog events;
    CTracked first(1, events);
    CTracked second(2, events);
    {
        CRecordingHeap heap(events);
        CReferenceVector vector;
        vector.Add(&first);
        vector.Add(&second);
        events.clear();
    }
    const CEventLog expected = {"free #1"};
    EXPECT_EQ(expected, events);
}

TEST(VectorDeathTest, FailedAllocationOrGrowthAbortsWithMessage)
{
    EXPECT_DEATH(
        {
            CEventLog events;
            CRecordingHeap heap(events);
            heap.FailAllocations();
            CReferenceVector vector;
            vector.Add(nullptr);
        },
        "out of memory: CVector item array");
    EXPECT_DEATH(
        {
            CEventLog events;
            CRecordingHeap heap(events);
            CReferenceVector vector;
            for (int i = 0; i < 16; ++i) {
                vector.Add(nullptr);
            }
            heap.FailAllocations();
            vector.Add(nullptr);
        },
        "out of memory: CVector item array");
}

} // namespace
