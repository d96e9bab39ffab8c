#include "frame/ZeIdTable.h"

#include <gtest/gtest.h>

namespace
{
class IdTable : public ::testing::Test
{
protected:
	void SetUp() override { table = zeCreateIdTable(4); }
	void TearDown() override { zeFreeIdTable(table); }
	SZeIdTable* table = nullptr;
	int a = 1, b = 2;
};

TEST_F(IdTable, AddGetRemoveAndReuse)
{
	EXPECT_EQ(zeIdTableMaxId(table), -1);
	EXPECT_EQ(zeIdTableAdd(table, 2, &a), 0);
	EXPECT_EQ(zeIdTableGet(table, 2), &a);
	EXPECT_EQ(zeIdTableMaxId(table), 2);
	EXPECT_EQ(zeIdTableRemove(table, 2), 0);
	EXPECT_EQ(zeIdTableGet(table, 2), nullptr);
	// The highest ID is never lowered, and a freed ID can be used again.
	EXPECT_EQ(zeIdTableMaxId(table), 2);
	EXPECT_EQ(zeIdTableAdd(table, 2, &b), 0);
	EXPECT_EQ(zeIdTableGet(table, 2), &b);
}

TEST_F(IdTable, RangeErrorsHaveExactTexts)
{
	EXPECT_EQ(zeIdTableAdd(table, -1, &a), -1);
	EXPECT_STREQ(zeGetIdTableError(), "invalid negative ID -1");
	EXPECT_EQ(zeIdTableAdd(table, 4, &a), -1);
	EXPECT_STREQ(zeGetIdTableError(), "invalid ID 4 greater or equals than 4");
	EXPECT_EQ(zeIdTableGet(table, 1000), nullptr);
	EXPECT_STREQ(zeGetIdTableError(), "invalid ID 1000 greater or equals than 4");
	EXPECT_EQ(zeIdTableRemove(table, -7), -1);
	EXPECT_STREQ(zeGetIdTableError(), "invalid negative ID -7");
	EXPECT_EQ(zeIdTableMaxId(table), -1) << "a refused add must not move the highest ID";
}

TEST_F(IdTable, DuplicateAddKeepsTheFirstPointer)
{
	ASSERT_EQ(zeIdTableAdd(table, 0, &a), 0);
	EXPECT_EQ(zeIdTableAdd(table, 0, &b), -1);
	EXPECT_STREQ(zeGetIdTableError(), "id 0 already exist");
	EXPECT_EQ(zeIdTableGet(table, 0), &a);
}

TEST_F(IdTable, DoubleRemoveAndEmptyLookupNameTheId)
{
	ASSERT_EQ(zeIdTableAdd(table, 3, &a), 0);
	ASSERT_EQ(zeIdTableRemove(table, 3), 0);
	EXPECT_EQ(zeIdTableRemove(table, 3), -1);
	EXPECT_STREQ(zeGetIdTableError(), "id 3 does not exist");

	// An old, unrelated text must not survive a failed lookup.
	zeIdTableAdd(table, 99, &a);
	EXPECT_EQ(zeIdTableGet(table, 1), nullptr);
	EXPECT_STREQ(zeGetIdTableError(), "id 1 does not exist");
}

TEST(IdTableCreate, RefusesNonPositiveCapacityAndFreesNull)
{
	EXPECT_EQ(zeCreateIdTable(0), nullptr);
	EXPECT_EQ(zeCreateIdTable(-5), nullptr);
	zeFreeIdTable(nullptr);
	SZeIdTable* full = zeCreateIdTable(1000);
	int value = 0;
	for (int id = 0; id < 1000; ++id)
		ASSERT_EQ(zeIdTableAdd(full, id, &value), 0);
	EXPECT_EQ(zeIdTableMaxId(full), 999);
	EXPECT_EQ(zeIdTableAdd(full, 1000, &value), -1);
	zeFreeIdTable(full);
}
} // namespace
