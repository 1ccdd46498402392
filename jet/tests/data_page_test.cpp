#include "format/data_page.h"

#include <gtest/gtest.h>

namespace jet {
namespace {

TEST(DataPage, RowsLieFromTheEndAndResizeShiftsTheRowsBelow) {
    const Format& f = jet4Format();
    Bytes page(f.pageSize, 0);
    DataPageEditor d{ByteSpan(page.data(), page.size(), 3), f};
    initDataPage(d.p, f, 77);
    EXPECT_EQ(d.freeSpace(), f.pageSize - f.dataRowTable);
    EXPECT_EQ(d.p.view().u32(f.dataOwner), 77u);
    const Bytes a = {1, 2, 3}, b = {4, 5}, c = {6};
    EXPECT_EQ(d.append(a, 0), 0);
    EXPECT_EQ(d.append(b, kSlotDeleted), 1);
    EXPECT_EQ(d.append(c, 0), 2);
    d.check();
    EXPECT_EQ(d.start(0), f.pageSize - 3);
    EXPECT_EQ(d.raw(1) & kSlotFlags, kSlotDeleted);

    // Slot 1 grows: slot 2 moves down, slot 0 stays, the flags stay.
    ASSERT_TRUE(d.put(1, Bytes{9, 9, 9, 9}));
    d.check();
    EXPECT_EQ(d.raw(1) & kSlotFlags, kSlotDeleted);
    const ByteView view(page.data(), page.size(), 3);
    const ByteView one = dataSlotBytes(view, f, 1, dataSlotCount(view, f));
    EXPECT_EQ(Bytes(one.data(), one.data() + one.size()), (Bytes{9, 9, 9, 9}));
    const ByteView two = dataSlotBytes(view, f, 2, 3);
    EXPECT_EQ(two.size(), 1u);
    EXPECT_EQ(two.data()[0], 6);
    EXPECT_EQ(d.freeSpace(), f.pageSize - f.dataRowTable - 3 * 2 - 3 - 4 - 1);
    EXPECT_FALSE(d.put(0, Bytes(f.pageSize, 0)));  // no room: nothing changes
    d.check();
}

TEST(DataPage, DamagedPagesAreRefused) {
    const Format& f = jet3Format();
    Bytes page(f.pageSize, 0);
    DataPageEditor d{ByteSpan(page.data(), page.size(), 4), f};
    initDataPage(d.p, f, 1);
    d.append(Bytes{1, 2}, 0);
    const ByteView view(page.data(), page.size(), 4);
    EXPECT_THROW(dataSlotBytes(view, f, 1, dataSlotCount(view, f)), Error);  // no slot 1
    d.p.u16(f.dataFreeSpace, 5);                                             // a wrong free space
    EXPECT_THROW(d.check(), Error);
    d.p.u16(f.dataRowCount, 2000);  // an offset table past the page
    EXPECT_THROW(dataSlotCount(view, f), Error);
    d.p.u16(f.dataRowCount, 1);
    d.p.u16(f.dataRowTable, 1);  // a row that starts inside the offset table
    EXPECT_THROW(dataSlotBytes(view, f, 0, 1), Error);
}

}  // namespace
}  // namespace jet
