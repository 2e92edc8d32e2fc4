// test_dbllist.cpp - CZELDblList: the cursor rules, link integrity after every
// kind of edit (checked from both ends), stable ordered insertion, copies
// that own their items, and pointer nodes that release what they own.
#include "zel_dbllist.h"
#include "zel_exceptions.h"
#include "zel_test_support.h"
#include "zel_wchar_string.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace {

typedef CZELDblList<CZELObjNode<CZELWCharString>, CZELWCharString> StringList;
typedef CZELDblList<CZELPtrNode<CZELWCharString>, CZELWCharString> StringPtrList;
typedef CZELDblList<CZELStdNode<ZEL_ULONG>, ZEL_ULONG> NumberList;

std::u16string str(const CZELWCharString &text) { return zeltest::text(text.getBuffer()); }

// Items by the walking idiom from the head; the cursor ends on the tail.
template <class List, class T> std::vector<T> forward(List &list) {
  std::vector<T> items;
  if (list.isEmpty())
    return items;
  list.begin();
  do {
    T item{};
    EXPECT_TRUE(list.getItem(item));
    items.push_back(item);
  } while (list.next());
  return items;
}

// Items from the tail back to the head, through the previous links.
template <class List, class T> std::vector<T> backward(List &list) {
  std::vector<T> items = forward<List, T>(list);
  items.clear();
  if (list.isEmpty())
    return items;
  do {
    T item{};
    EXPECT_TRUE(list.getItem(item));
    items.insert(items.begin(), item);
  } while (list.prev());
  return items;
}

template <class List> std::vector<std::u16string> strings(List &list) {
  std::vector<std::u16string> forwardTexts, backwardTexts;
  for (const CZELWCharString &item : forward<List, CZELWCharString>(list))
    forwardTexts.push_back(str(item));
  for (const CZELWCharString &item : backward<List, CZELWCharString>(list))
    backwardTexts.push_back(str(item));
  EXPECT_EQ(forwardTexts, backwardTexts) << "previous links disagree with next links";
  return forwardTexts;
}

std::vector<ZEL_ULONG> numbers(NumberList &list) {
  std::vector<ZEL_ULONG> items = forward<NumberList, ZEL_ULONG>(list);
  EXPECT_EQ(items, (backward<NumberList, ZEL_ULONG>(list)));
  return items;
}

std::u16string cursorText(const StringList &list) {
  CZELWCharString item;
  EXPECT_TRUE(list.getItem(item));
  return str(item);
}

StringList abc() {
  StringList list;
  list.add(u"a", 1);
  list.add(u"b", 2);
  list.add(u"c", 3);
  return list;
}

// Counts live instances, so a leak or a double release shows.
struct Counted {
  static int s_live;
  int value;
  Counted(int v = 0) : value(v) { ++s_live; }
  Counted(const Counted &other) : value(other.value) { ++s_live; }
  Counted &operator=(const Counted &) = default;
  ~Counted() { --s_live; }
  bool operator==(const Counted &o) const { return value == o.value; }
  bool operator!=(const Counted &o) const { return value != o.value; }
  bool operator<(const Counted &o) const { return value < o.value; }
  bool operator>(const Counted &o) const { return value > o.value; }
};
int Counted::s_live = 0;

// An item whose copies fail on request.
struct Fragile {
  static bool s_bFail;
  int value = 0;
  Fragile(int v = 0) : value(v) {}
  Fragile(const Fragile &other) : value(other.value) {
    if (s_bFail)
      throw std::runtime_error("copy failed");
  }
  Fragile &operator=(const Fragile &) = default;
  bool operator==(const Fragile &o) const { return value == o.value; }
  bool operator!=(const Fragile &o) const { return value != o.value; }
  bool operator<(const Fragile &o) const { return value < o.value; }
  bool operator>(const Fragile &o) const { return value > o.value; }
};
bool Fragile::s_bFail = false;

} // namespace

// ---- Cursor -----------------------------------------------------------------

TEST(DblListCursor, EmptyListRefusesCursorOperations) {
  StringList list;
  CZELWCharString item(u"untouched");
  ZEL_ULONG ulData = 7;
  EXPECT_TRUE(list.isEmpty());
  EXPECT_FALSE(list.next());
  EXPECT_FALSE(list.prev());
  EXPECT_FALSE(list.getItem(item));
  EXPECT_FALSE(list.getItemData(ulData));
  EXPECT_FALSE(list.setItem(u"x"));
  EXPECT_FALSE(list.removeNode(true));
  EXPECT_FALSE(list.moveItemUp());
  EXPECT_FALSE(list.moveItemDown());
  EXPECT_FALSE(list.moveTo(CZELWCharString(u"a")));
  EXPECT_TRUE(list.flush());
  EXPECT_EQ(str(item), u"untouched");
  EXPECT_EQ(ulData, 7u);
  EXPECT_TRUE(list.isEmpty());
}

TEST(DblListCursor, StaysOnTheLastNodeAtTheEnd) {
  StringList list = abc();
  EXPECT_EQ(cursorText(list), u"a") << "the first add places the cursor; later ones leave it";
  EXPECT_TRUE(list.next());
  EXPECT_EQ(cursorText(list), u"b");
  EXPECT_TRUE(++list);
  EXPECT_EQ(cursorText(list), u"c");
  EXPECT_FALSE(list.next());
  EXPECT_EQ(cursorText(list), u"c");
  ZEL_ULONG ulData = 0;
  EXPECT_TRUE(list.getItemData(ulData));
  EXPECT_EQ(ulData, 3u);
  EXPECT_TRUE(list.prev());
  EXPECT_TRUE(list.prev());
  EXPECT_FALSE(list.prev());
  EXPECT_EQ(cursorText(list), u"a");
  EXPECT_EQ(strings(list), (std::vector<std::u16string>{u"a", u"b", u"c"}));
  EXPECT_EQ(list.getCount(), 3u);
}

TEST(DblListCursor, FindsByItemAndByItemData) {
  StringList list = abc();
  EXPECT_TRUE(list.moveTo(CZELWCharString(u"b")));
  EXPECT_EQ(cursorText(list), u"b");
  EXPECT_TRUE(list.moveTo(3));
  EXPECT_EQ(cursorText(list), u"c");
  EXPECT_TRUE(list.moveToItemData(1));
  EXPECT_EQ(cursorText(list), u"a");
  EXPECT_FALSE(list.moveTo(CZELWCharString(u"z")));
  EXPECT_EQ(cursorText(list), u"c") << "a failed search leaves the cursor on the last node";
  list.begin();
  EXPECT_TRUE(list.setItem(u"A"));
  EXPECT_EQ(strings(list), (std::vector<std::u16string>{u"A", u"b", u"c"}));
}

// ---- Insertion --------------------------------------------------------------

TEST(DblListInsert, AddAscendingKeepsEqualValuesInInsertionOrder) {
  NumberList list;
  const ZEL_ULONG values[] = {5, 1, 5, 3};
  for (ZEL_ULONG i = 0; i < 4; ++i)
    EXPECT_TRUE(list.addAscending(values[i], i + 1));
  EXPECT_EQ(numbers(list), (std::vector<ZEL_ULONG>{1, 3, 5, 5}));
  std::vector<ZEL_ULONG> data;
  list.begin();
  do {
    ZEL_ULONG ulData = 0;
    list.getItemData(ulData);
    data.push_back(ulData);
  } while (list.next());
  EXPECT_EQ(data, (std::vector<ZEL_ULONG>{2, 4, 1, 3})) << "the second 5 goes after the first";

  StringPtrList texts;
  for (const char16_t *psz : {u"m", u"c", u"x", u"a", u"c"})
    EXPECT_TRUE(texts.addAscending(psz));
  EXPECT_EQ(strings(texts), (std::vector<std::u16string>{u"a", u"c", u"c", u"m", u"x"}));
}

TEST(DblListInsert, InsertNodeGoesBeforeTheCursor) {
  StringList list = abc();
  list.begin();
  EXPECT_TRUE(list.insertNode(new CZELObjNode<CZELWCharString>(u"head", 9)));
  EXPECT_EQ(cursorText(list), u"a") << "the cursor stays on its node";
  EXPECT_TRUE(list.moveTo(CZELWCharString(u"c")));
  EXPECT_TRUE(list.insertNode(new CZELObjNode<CZELWCharString>(u"mid")));
  EXPECT_FALSE(list.insertNode(nullptr));
  EXPECT_FALSE(list.addNode(nullptr));
  EXPECT_EQ(strings(list), (std::vector<std::u16string>{u"head", u"a", u"b", u"mid", u"c"}));
  EXPECT_EQ(list.getCount(), 5u);

  StringList empty;
  EXPECT_TRUE(empty.insertNode(new CZELObjNode<CZELWCharString>(u"only")));
  EXPECT_EQ(cursorText(empty), u"only");
  EXPECT_TRUE(empty.add(u"after"));
  EXPECT_EQ(strings(empty), (std::vector<std::u16string>{u"only", u"after"}));
}

TEST(DblListInsert, FailedItemCopyIsLoggedAndLeavesTheListAsItWas) {
  CZELDblList<CZELObjNode<Fragile>, Fragile> list;
  EXPECT_TRUE(list.add(Fragile(1)));
  zeltest::RecordingSink sink;
  Fragile::s_bFail = true;
  EXPECT_FALSE(list.add(Fragile(2)));
  EXPECT_FALSE(list.addAscending(Fragile(0)));
  Fragile::s_bFail = false;
  EXPECT_EQ(sink.countMessage(u"An unhandled exception occurred"), 2u);
  EXPECT_EQ(list.getCount(), 1u);
  EXPECT_FALSE(list.next());
}

// ---- Removal ----------------------------------------------------------------

TEST(DblListRemove, HeadTailMiddleAndOnlyNode) {
  StringList list = abc();
  list.add(u"d");
  EXPECT_TRUE(list.moveTo(CZELWCharString(u"d")));
  EXPECT_TRUE(list.removeNode(true));
  EXPECT_EQ(cursorText(list), u"a") << "the cursor returns to the head";
  EXPECT_TRUE(list.add(u"e")) << "appending after a removed tail must use the new tail";
  EXPECT_EQ(strings(list), (std::vector<std::u16string>{u"a", u"b", u"c", u"e"}));

  list.begin();
  EXPECT_TRUE(list.removeNode(true));
  EXPECT_EQ(cursorText(list), u"b");
  EXPECT_TRUE(list.remove(CZELWCharString(u"c")));
  EXPECT_TRUE(list.remove(ZEL_ULONG{2}));
  EXPECT_EQ(strings(list), (std::vector<std::u16string>{u"e"}));
  EXPECT_EQ(list.getCount(), 1u);

  EXPECT_TRUE(list.removeNode(true));
  EXPECT_TRUE(list.isEmpty());
  EXPECT_EQ(list.getCount(), 0u);
  EXPECT_TRUE(list.add(u"again"));
  EXPECT_EQ(strings(list), (std::vector<std::u16string>{u"again"}));
}

TEST(DblListRemove, NothingIsRemovedWhenNothingMatches) {
  StringList list = abc();
  EXPECT_FALSE(list.remove(CZELWCharString(u"zz")));
  EXPECT_FALSE(list.remove(ZEL_ULONG{42}));
  NumberList numberList;
  numberList.add(1, 10);
  EXPECT_FALSE(numberList.removeItemData(11));
  EXPECT_TRUE(numberList.removeItemData(10));
  EXPECT_EQ(strings(list), (std::vector<std::u16string>{u"a", u"b", u"c"}));
  EXPECT_TRUE(numberList.isEmpty());
}

TEST(DblListRemove, NodeKeptByTheCallerCanBeAddedAgain) {
  StringList list = abc();
  list.moveTo(CZELWCharString(u"b"));
  CZELNode<CZELWCharString> *pNode = list.getCursorNode();
  EXPECT_TRUE(list.removeNode(false));
  EXPECT_EQ(pNode->getNext(), nullptr);
  EXPECT_EQ(pNode->getPrev(), nullptr);
  EXPECT_TRUE(list.addNode(pNode));
  EXPECT_EQ(strings(list), (std::vector<std::u16string>{u"a", u"c", u"b"}));
}

// ---- Moving nodes -----------------------------------------------------------

TEST(DblListMove, UpAndDownAcrossTheEnds) {
  StringList list = abc();
  list.begin();
  EXPECT_FALSE(list.moveItemUp());
  list.moveTo(CZELWCharString(u"c"));
  EXPECT_FALSE(list.moveItemDown());
  EXPECT_EQ(strings(list), (std::vector<std::u16string>{u"a", u"b", u"c"}));

  list.moveTo(CZELWCharString(u"b"));
  EXPECT_TRUE(list.moveItemUp());
  EXPECT_EQ(cursorText(list), u"b");
  EXPECT_EQ(strings(list), (std::vector<std::u16string>{u"b", u"a", u"c"}));

  list.moveTo(CZELWCharString(u"a"));
  EXPECT_TRUE(list.moveItemDown());
  EXPECT_EQ(strings(list), (std::vector<std::u16string>{u"b", u"c", u"a"}));

  list.begin();
  EXPECT_TRUE(list.moveItemDown());
  EXPECT_EQ(strings(list), (std::vector<std::u16string>{u"c", u"b", u"a"}));
  list.add(u"z");
  EXPECT_EQ(strings(list), (std::vector<std::u16string>{u"c", u"b", u"a", u"z"}));
}

// ---- Copies, comparison and ownership --------------------------------------

TEST(DblListCopy, PointerListCopiesOwnSeparateItems) {
  StringPtrList original;
  original.add(u"one", 1);
  EXPECT_TRUE(original.addNode(new CZELPtrNode<CZELWCharString>(new CZELWCharString(u"two"), 2)));
  StringPtrList copy;
  copy.add(u"stale");
  EXPECT_TRUE(copy.copyList(original));
  EXPECT_TRUE(copy == original);
  copy.begin();
  copy.next();
  EXPECT_TRUE(copy.setItem(u"changed"));
  EXPECT_EQ(strings(original), (std::vector<std::u16string>{u"one", u"two"}));
  EXPECT_EQ(strings(copy), (std::vector<std::u16string>{u"one", u"changed"}));
  EXPECT_TRUE(copy.moveToItemData(2)) << "item data travels with the copies";
  EXPECT_FALSE(copy == original);

  copy = copy;
  EXPECT_EQ(strings(copy), (std::vector<std::u16string>{u"one", u"changed"}))
      << "copying a list onto itself keeps it";
  StringPtrList constructed(original);
  original.flush();
  EXPECT_EQ(strings(constructed), (std::vector<std::u16string>{u"one", u"two"}));
}

TEST(DblListCopy, EqualityIsOrderSensitive) {
  StringList empty1, empty2;
  EXPECT_TRUE(empty1 == empty2);
  StringList list = abc();
  StringList same = abc();
  StringList reversed;
  for (const char16_t *psz : {u"c", u"b", u"a"})
    reversed.add(psz);
  StringList shorter;
  shorter.add(u"a");
  EXPECT_TRUE(list == same);
  EXPECT_FALSE(list == reversed);
  EXPECT_FALSE(list == shorter);
  EXPECT_FALSE(list == empty1);
}

TEST(DblListOwnership, PointerNodesReleaseWhatTheyOwn) {
  Counted::s_live = 0;
  {
    CZELDblList<CZELPtrNode<Counted>, Counted> list;
    list.addNode(new CZELPtrNode<Counted>(new Counted(1)));
    list.addAscending(Counted(0));
    list.add(Counted(2));
    EXPECT_EQ(Counted::s_live, 3);
    list.begin();
    EXPECT_TRUE(list.setItem(Counted(5)));
    EXPECT_EQ(Counted::s_live, 3) << "the replaced object is released";
    CZELDblList<CZELPtrNode<Counted>, Counted> copy(list);
    EXPECT_EQ(Counted::s_live, 6);
    copy.flush();
    EXPECT_EQ(Counted::s_live, 3);
    list.begin();
    list.removeNode(true);
    EXPECT_EQ(Counted::s_live, 2);
    CZELDblList<CZELPtrNode<Counted>, Counted> moved(std::move(list));
    EXPECT_TRUE(list.isEmpty());
    EXPECT_EQ(Counted::s_live, 2);
  }
  EXPECT_EQ(Counted::s_live, 0) << "the destructor releases every node";
}
