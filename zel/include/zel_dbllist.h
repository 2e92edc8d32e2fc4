// zel_dbllist.h - CZELDblList: the framework's doubly linked list with one
// built-in cursor, and the node kinds that decide how items are stored.
//
// Callers walk a list with begin, getItem and next until next returns false
// (next keeps the cursor on the last node); most edits work at the cursor.
// Every node carries a caller-chosen 32-bit item-data word by which it can
// be found. The list owns its nodes from addNode/insertNode until
// removeNode(true), flush or its destruction. No operation throws: failures
// are logged and reported as false.
#pragma once

#include "zel_catch.h"
#include "zel_exceptions.h"
#include "zel_types.h"

#include <new>
#include <type_traits>
#include <utility>

inline constexpr ZEL_USHORT ZEL_DBLLIST_SOURCE[] = u".\\zel_dbllist";

template <class Node, class T> class CZELDblList;

// The abstract node: links, item data, and the operations every kind answers.
template <class T> class CZELNode {
public:
  explicit CZELNode(ZEL_ULONG ulItemData = 0) noexcept
      : m_pNext(nullptr), m_pPrev(nullptr), m_ulItemData(ulItemData) {}
  virtual ~CZELNode() {
    m_pNext = nullptr;
    m_pPrev = nullptr;
  }
  // A node is linked into one list; copying one would share its links (and
  // for a pointer node its object).
  CZELNode(const CZELNode &) = delete;
  CZELNode &operator=(const CZELNode &) = delete;

  virtual bool operator==(const T &item) const = 0;
  virtual bool operator!=(const T &item) const = 0;
  // The node's item is the smaller.
  virtual bool operator<(const T &item) const = 0;
  virtual bool operator>(const T &item) const = 0;
  // The stored item, whatever the storage; the list reads items through it.
  virtual const T &getItemRef() const = 0;
  virtual void setItem(const T &item) = 0;

  CZELNode *getNext() const noexcept { return m_pNext; }
  CZELNode *getPrev() const noexcept { return m_pPrev; }
  ZEL_ULONG getItemData() const noexcept { return m_ulItemData; }
  void setItemData(ZEL_ULONG ulItemData) noexcept { m_ulItemData = ulItemData; }

private:
  template <class, class> friend class CZELDblList;

  CZELNode *m_pNext;
  CZELNode *m_pPrev;
  ZEL_ULONG m_ulItemData;
};

// Holds its own copy of the item.
template <class T> class CZELObjNode : public CZELNode<T> {
public:
  explicit CZELObjNode(const T &item, ZEL_ULONG ulItemData = 0)
      : CZELNode<T>(ulItemData), m_item(item) {}

  bool operator==(const T &item) const override { return m_item == item; }
  bool operator!=(const T &item) const override { return m_item != item; }
  bool operator<(const T &item) const override { return m_item < item; }
  bool operator>(const T &item) const override { return m_item > item; }
  const T &getItemRef() const override { return m_item; }
  void setItem(const T &item) override { m_item = item; }

  T *getItem() noexcept { return &m_item; }
  const T *getItem() const noexcept { return &m_item; }

private:
  T m_item;
};

// Holds a heap object, which it owns and deletes when it is destroyed.
template <class T> class CZELPtrNode : public CZELNode<T> {
public:
  // Takes ownership of pItem (allocated with new).
  explicit CZELPtrNode(T *pItem, ZEL_ULONG ulItemData = 0) noexcept
      : CZELNode<T>(ulItemData), m_pPointer(pItem) {}
  // Item destructors do not throw, so releasing the object cannot fail.
  ~CZELPtrNode() override { delete m_pPointer; }

  // A node without an object equals nothing and orders before everything.
  bool operator==(const T &item) const override {
    return m_pPointer != nullptr && *m_pPointer == item;
  }
  bool operator!=(const T &item) const override {
    return m_pPointer == nullptr || *m_pPointer != item;
  }
  bool operator<(const T &item) const override {
    return m_pPointer == nullptr || *m_pPointer < item;
  }
  bool operator>(const T &item) const override {
    return m_pPointer != nullptr && *m_pPointer > item;
  }
  // Throws CZELBadArgException for a node without an object.
  const T &getItemRef() const override {
    if (m_pPointer == nullptr)
      throw CZELBadArgException(u"m_pPointer", u"the node holds no object", ZEL_DBLLIST_SOURCE,
                                __LINE__, 1, true, false);
    return *m_pPointer;
  }
  // Stores a heap copy of item in place of the current object, which the
  // node owns and so releases (keeping it would only leak it).
  void setItem(const T &item) override {
    T *pCopy = new (std::nothrow) T(item);
    if (pCopy == nullptr)
      throw CZELMemAllocException(u"m_pPointer", ZEL_DBLLIST_SOURCE, __LINE__, 1, true, false);
    delete m_pPointer;
    m_pPointer = pCopy;
  }
  // Adopts pItem in place of the current object, which is released.
  void setPointer(T *pItem) noexcept {
    if (pItem != m_pPointer)
      delete m_pPointer;
    m_pPointer = pItem;
  }

  T *getItem() const noexcept { return m_pPointer; }

private:
  T *m_pPointer;
};

// Holds a plain value: a number or an enumeration value.
template <class T> class CZELStdNode : public CZELNode<T> {
  static_assert(std::is_arithmetic_v<T> || std::is_enum_v<T>,
                "CZELStdNode holds plain values only");

public:
  explicit CZELStdNode(T value, ZEL_ULONG ulItemData = 0) noexcept
      : CZELNode<T>(ulItemData), m_value(value) {}

  bool operator==(const T &item) const override { return m_value == item; }
  bool operator!=(const T &item) const override { return m_value != item; }
  bool operator<(const T &item) const override { return m_value < item; }
  bool operator>(const T &item) const override { return m_value > item; }
  const T &getItemRef() const override { return m_value; }
  void setItem(const T &item) override { m_value = item; }

  T getItem() const noexcept { return m_value; }

private:
  T m_value;
};

template <class Node, class T> class CZELDblList {
  static_assert(std::is_base_of_v<CZELNode<T>, Node>, "Node must be a node kind over T");

public:
  typedef CZELNode<T> BaseNode;

  CZELDblList() noexcept : m_pHead(nullptr), m_pTail(nullptr), m_pCursor(nullptr), m_ulCount(0) {}
  ~CZELDblList() { flush(); }
  // Copies hold their own nodes (and, for pointer nodes, their own objects).
  CZELDblList(const CZELDblList &other) noexcept : CZELDblList() { copyList(other); }
  CZELDblList(CZELDblList &&other) noexcept
      : m_pHead(other.m_pHead), m_pTail(other.m_pTail), m_pCursor(other.m_pCursor),
        m_ulCount(other.m_ulCount) {
    other.forget();
  }
  CZELDblList &operator=(const CZELDblList &other) noexcept {
    copyList(other);
    return *this;
  }
  CZELDblList &operator=(CZELDblList &&other) noexcept {
    if (&other != this) {
      flush();
      m_pHead = other.m_pHead;
      m_pTail = other.m_pTail;
      m_pCursor = other.m_pCursor;
      m_ulCount = other.m_ulCount;
      other.forget();
    }
    return *this;
  }

  bool isEmpty() const noexcept { return m_pHead == nullptr; }
  ZEL_ULONG getCount() const noexcept { return m_ulCount; }

  // ---- Cursor ------------------------------------------------------------
  CZELDblList &begin() noexcept {
    m_pCursor = m_pHead;
    return *this;
  }
  // At the last node (or in an empty list) the cursor stays and the result
  // is false, so a walk that tests next after each item visits each once.
  bool next() noexcept {
    if (m_pCursor == nullptr || m_pCursor->m_pNext == nullptr)
      return false;
    m_pCursor = m_pCursor->m_pNext;
    return true;
  }
  bool operator++() noexcept { return next(); }
  bool operator++(int) noexcept { return next(); }
  bool prev() noexcept {
    if (m_pCursor == nullptr || m_pCursor->m_pPrev == nullptr)
      return false;
    m_pCursor = m_pCursor->m_pPrev;
    return true;
  }

  bool getItem(T &rItem) const noexcept {
    return zelAbsorb(ZEL_DBLLIST_SOURCE, __LINE__, CZELErrorSource::esErrno, [&] {
      if (m_pCursor == nullptr)
        return false;
      rItem = m_pCursor->getItemRef();
      return true;
    });
  }
  bool getItemData(ZEL_ULONG &rulItemData) const noexcept {
    if (m_pCursor == nullptr)
      return false;
    rulItemData = m_pCursor->m_ulItemData;
    return true;
  }
  bool setItem(const T &item) noexcept {
    return zelAbsorb(ZEL_DBLLIST_SOURCE, __LINE__, CZELErrorSource::esErrno, [&] {
      if (m_pCursor == nullptr)
        return false;
      m_pCursor->setItem(item);
      return true;
    });
  }
  // The cursor's node (null in an empty list), for callers that keep nodes
  // they take back with removeNode(false).
  BaseNode *getCursorNode() const noexcept { return m_pCursor; }

  // ---- Adding ------------------------------------------------------------
  bool add(const T &item, ZEL_ULONG ulItemData = 0) noexcept {
    return zelAbsorb(ZEL_DBLLIST_SOURCE, __LINE__, CZELErrorSource::esErrno, [&] {
      return addNode(allocate<CZELObjNode<T>>(u"pNewNode", item, ulItemData));
    });
  }
  // Appends pNode and takes it over; the cursor moves only into an empty list.
  bool addNode(BaseNode *pNode) noexcept {
    if (pNode == nullptr)
      return false;
    pNode->m_pNext = nullptr;
    pNode->m_pPrev = m_pTail;
    if (m_pTail == nullptr) {
      m_pHead = pNode;
      m_pCursor = pNode;
    } else {
      m_pTail->m_pNext = pNode;
    }
    m_pTail = pNode;
    ++m_ulCount;
    return true;
  }
  // Puts pNode before the cursor's node and takes it over; the cursor stays.
  bool insertNode(BaseNode *pNode) noexcept {
    if (pNode == nullptr)
      return false;
    if (m_pCursor == nullptr)
      return addNode(pNode);
    linkBefore(pNode, m_pCursor);
    ++m_ulCount;
    return true;
  }
  // Inserts after every node of a smaller or equal value, so equal values
  // keep the order in which they were added.
  bool addAscending(const T &value, ZEL_ULONG ulItemData = 0) noexcept {
    return zelAbsorb(ZEL_DBLLIST_SOURCE, __LINE__, CZELErrorSource::esErrno, [&] {
      BaseNode *pNode = makeNode(value, ulItemData);
      if (moveToClosestNode(pNode, true))
        return insertNode(pNode);
      return addNode(pNode);
    });
  }

  // ---- Finding -----------------------------------------------------------
  // From the head, the first node greater (ascending) or smaller
  // (descending) than pNode's item; false, with the cursor on the last node,
  // when there is none.
  bool moveToClosestNode(const BaseNode *pNode, bool bAscending) noexcept {
    if (pNode == nullptr)
      return false;
    return findFromHead([&](const BaseNode *pCandidate) {
      const T &value = pNode->getItemRef();
      return bAscending ? *pCandidate > value : *pCandidate < value;
    });
  }
  // From the head, the first node whose item equals item; false, with the
  // cursor on the last node, when there is none.
  bool moveTo(const T &item) noexcept {
    return findFromHead([&](const BaseNode *pCandidate) { return *pCandidate == item; });
  }
  // The item-data forms; for lists of 32-bit numbers use moveToItemData and
  // removeItemData, since there the item and the word share one type.
  bool moveTo(ZEL_ULONG ulItemData) noexcept requires(!std::is_same_v<T, ZEL_ULONG>) {
    return moveToItemData(ulItemData);
  }
  bool moveToItemData(ZEL_ULONG ulItemData) noexcept {
    return findFromHead(
        [&](const BaseNode *pCandidate) { return pCandidate->m_ulItemData == ulItemData; });
  }

  // ---- Removing ----------------------------------------------------------
  // Only a node that was found is removed; when nothing matches, the list
  // keeps all its nodes and the result is false.
  bool remove(const T &item) noexcept { return moveTo(item) && removeNode(true); }
  bool remove(ZEL_ULONG ulItemData) noexcept requires(!std::is_same_v<T, ZEL_ULONG>) {
    return removeItemData(ulItemData);
  }
  bool removeItemData(ZEL_ULONG ulItemData) noexcept {
    return moveToItemData(ulItemData) && removeNode(true);
  }
  // Unlinks the cursor's node and deletes it when asked (otherwise it goes
  // back to whoever holds it); the cursor returns to the head.
  bool removeNode(bool bDelete) noexcept {
    BaseNode *pNode = m_pCursor;
    if (pNode == nullptr)
      return false;
    unlink(pNode);
    if (bDelete)
      delete pNode; // node destructors do not throw, so the release cannot fail
    m_pCursor = m_pHead;
    --m_ulCount;
    return true;
  }
  bool flush() noexcept {
    BaseNode *pTempCursor = m_pHead;
    while (pTempCursor != nullptr) {
      BaseNode *pNext = pTempCursor->m_pNext;
      delete pTempCursor;
      pTempCursor = pNext;
    }
    forget();
    return true;
  }

  // ---- Moving nodes ------------------------------------------------------
  // One place toward the head; the cursor stays on the moved node.
  bool moveItemUp() noexcept {
    if (m_pCursor == nullptr || m_pCursor == m_pHead)
      return false;
    BaseNode *pNode = m_pCursor;
    BaseNode *pBefore = pNode->m_pPrev;
    unlink(pNode);
    linkBefore(pNode, pBefore);
    return true;
  }
  // One place toward the tail; the cursor stays on the moved node.
  bool moveItemDown() noexcept {
    if (m_pCursor == nullptr || m_pCursor == m_pTail)
      return false;
    BaseNode *pNode = m_pCursor;
    BaseNode *pAfter = pNode->m_pNext;
    unlink(pNode);
    if (pAfter->m_pNext != nullptr) {
      linkBefore(pNode, pAfter->m_pNext);
    } else {
      pNode->m_pPrev = m_pTail;
      m_pTail->m_pNext = pNode;
      m_pTail = pNode;
    }
    return true;
  }

  // ---- Copying and comparing ---------------------------------------------
  // Replaces the contents with copies of other's nodes, in order and with
  // their item data; stops at the first failure. Copying a list onto itself
  // leaves it as it is.
  bool copyList(const CZELDblList &other) noexcept {
    if (&other == this)
      return true;
    if (!isEmpty())
      flush();
    for (const BaseNode *pNode = other.m_pHead; pNode != nullptr; pNode = pNode->m_pNext) {
      bool bCopied;
      if constexpr (std::is_same_v<Node, CZELPtrNode<T>>) {
        bCopied = zelAbsorb(ZEL_DBLLIST_SOURCE, __LINE__, CZELErrorSource::esErrno, [&] {
          return addNode(allocate<CZELPtrNode<T>>(u"pNode", heapCopy(pNode->getItemRef()),
                                                  pNode->m_ulItemData));
        });
      } else {
        bCopied = zelAbsorb(ZEL_DBLLIST_SOURCE, __LINE__, CZELErrorSource::esErrno,
                            [&] { return add(pNode->getItemRef(), pNode->m_ulItemData); });
      }
      if (!bCopied)
        return false;
    }
    return true;
  }
  bool operator==(const CZELDblList &other) const noexcept {
    return zelAbsorb(ZEL_DBLLIST_SOURCE, __LINE__, CZELErrorSource::esErrno, [&] {
      if (m_ulCount != other.m_ulCount)
        return false;
      const BaseNode *pOther = other.m_pHead;
      for (const BaseNode *pNode = m_pHead; pNode != nullptr; pNode = pNode->m_pNext) {
        if (pOther == nullptr || !(*pNode == pOther->getItemRef()))
          return false;
        pOther = pOther->m_pNext;
      }
      return pOther == nullptr;
    });
  }
  bool operator!=(const CZELDblList &other) const noexcept { return !(*this == other); }

private:
  // Allocates a node; a failed allocation is logged and thrown as
  // CZELMemAllocException naming pszName.
  template <class Kind, class Item>
  static Kind *allocate(const ZEL_USHORT *pszName, Item &&item, ZEL_ULONG ulItemData) {
    Kind *pNode = new (std::nothrow) Kind(std::forward<Item>(item), ulItemData);
    if (pNode == nullptr) {
      if constexpr (std::is_pointer_v<std::decay_t<Item>>)
        delete item; // the node never took the object over
      throw CZELMemAllocException(pszName, ZEL_DBLLIST_SOURCE, __LINE__, 1, true, false);
    }
    return pNode;
  }
  static T *heapCopy(const T &item) {
    T *pCopy = new (std::nothrow) T(item);
    if (pCopy == nullptr)
      throw CZELMemAllocException(u"pNode", ZEL_DBLLIST_SOURCE, __LINE__, 1, true, false);
    return pCopy;
  }
  // A node of the list's own kind holding value.
  static BaseNode *makeNode(const T &value, ZEL_ULONG ulItemData) {
    if constexpr (std::is_same_v<Node, CZELPtrNode<T>>)
      return allocate<Node>(u"pNewNode", heapCopy(value), ulItemData);
    else
      return allocate<Node>(u"pNewNode", value, ulItemData);
  }

  // Walks from the head to the first node that matches; without one the
  // cursor is left on the last node. Comparisons of items may throw.
  template <class Match> bool findFromHead(Match &&match) noexcept {
    return zelAbsorb(ZEL_DBLLIST_SOURCE, __LINE__, CZELErrorSource::esErrno, [&] {
      for (BaseNode *pNode = m_pHead; pNode != nullptr; pNode = pNode->m_pNext) {
        m_pCursor = pNode;
        if (match(static_cast<const BaseNode *>(pNode)))
          return true;
      }
      return false;
    });
  }

  // pNode (unlinked) goes right before pBefore, a node of this list.
  void linkBefore(BaseNode *pNode, BaseNode *pBefore) noexcept {
    pNode->m_pNext = pBefore;
    pNode->m_pPrev = pBefore->m_pPrev;
    if (pBefore->m_pPrev != nullptr)
      pBefore->m_pPrev->m_pNext = pNode;
    else
      m_pHead = pNode;
    pBefore->m_pPrev = pNode;
  }
  // Takes pNode out of the chain (head, tail and middle alike) and clears
  // its links; cursor and count are the caller's business.
  void unlink(BaseNode *pNode) noexcept {
    if (pNode->m_pPrev != nullptr)
      pNode->m_pPrev->m_pNext = pNode->m_pNext;
    else
      m_pHead = pNode->m_pNext;
    if (pNode->m_pNext != nullptr)
      pNode->m_pNext->m_pPrev = pNode->m_pPrev;
    else
      m_pTail = pNode->m_pPrev;
    pNode->m_pNext = nullptr;
    pNode->m_pPrev = nullptr;
  }
  void forget() noexcept {
    m_pHead = nullptr;
    m_pTail = nullptr;
    m_pCursor = nullptr;
    m_ulCount = 0;
  }

  BaseNode *m_pHead;
  BaseNode *m_pTail;
  BaseNode *m_pCursor;
  ZEL_ULONG m_ulCount;
};
