// Typed lists: circular, doubly linked lists of nodes whose record layout is
// described by the list type's field table.
//
// Memory layout of a node (64-bit safe): a ListNode head (next, prev, u32 tag)
// followed by the type's fields in table order. Field offsets are computed
// from the table with the host's sizes and C alignment rules:
//   kind 0 (LF_INLINE) of size 1, 2, 4 or 8: an integer, aligned to its size;
//   kind 0 of any other size: a byte array (char[n]), unaligned;
//   kind 1 (LF_MEMORY) and kind 2 (LF_TEXT): a host pointer (8 bytes here).
// So a C++ struct `{ ListNode head; <fields as u8/u16/u32/u64, char[n] or
// pointers> }` has exactly the offsets of its table; node_size is rounded up
// to the head's alignment like sizeof of such a struct. No code may assume
// that the record starts at byte 12 or that a pointer has 4 bytes: use
// ListFieldPtr / ListFieldOffset or a matching struct.
//
// A pointer the list does not own (a BitMap, a semaphore) is an LF_INLINE
// field of size LIST_HOSTPTR_SIZE. Memory held by LF_MEMORY / LF_TEXT fields
// must come from AllocVec; RemoveNode flag 1 and DeleteList(list, 1) free it.
//
// Types are registered once at start-up with RegisterListType by the module
// that owns the record (game data: players, armies, goods ...). The types 20
// (turn mails), 21 (letters), 22 (statistics categories), 40 (Objekt3D-Liste)
// and 41 (dirty rectangles) are built in; a registration replaces a table.
#pragma once
#include <cstddef>
#include <cstdint>

enum ListType : uint32_t {
  LIST_PLAYERS = 1,          // SpielerEintrag
  LIST_ARMIES = 3,           // Army
  LIST_ARMY_PARTS = 4,       // ArmeeTyp
  LIST_WEAPONS = 6,          // WaffenListEntry
  LIST_GOODS = 7,            // WarenListenEntry
  LIST_CONTRACTS = 9,        // VertragsEintrag
  LIST_SHIPS = 10,           // Schiffseintrag
  LIST_MAP_NAMES = 13,       // MapNameEintrag
  LIST_CULTURE_FIELDS = 14,
  LIST_SPECIALISTS = 15,     // SpezialistEintrag
  LIST_HERBS = 16,           // KrautEintrag
  LIST_SHIP_ADDONS = 17,
  LIST_FIGURES = 19,         // MOVE_EXT
  LIST_TURN_MAILS = 20,      // EmailNode
  LIST_LETTERS = 21,         // SmalListEntry
  LIST_STATISTICS = 22,      // StatistikKategorie
  LIST_OBJEKT3D = 40,        // ObjektListEntry
  LIST_DIRTY_RECTS = 41,     // DirtyRect
  LIST_TYPE_LIMIT = 64,      // type numbers are below this
};

enum : uint8_t { LF_INLINE = 0, LF_MEMORY = 1, LF_TEXT = 2 };
enum : uint16_t { LIST_HOSTPTR_SIZE = sizeof(void*) };

// One field definition. `size` is the inline size (kind 0) or the size of the
// pointed-to memory (kind 1; kind 2 texts ignore it). `key` is the sort
// priority (highest = primary key) or, for GetNode searches, 1 = compare.
// `offset` (from the node start) is filled in by the library.
struct ListField {
  uint8_t kind;
  uint8_t key;
  uint16_t size;
  uint16_t offset;
};

struct ListNode {
  ListNode* next;
  ListNode* prev;
  uint32_t tag;  // free for the owner of the record
};

struct ListHeader {
  ListNode* first;
  ListNode* current;
  uint32_t count;       // read directly by callers
  uint32_t type;
  uint32_t field_count;
  uint32_t node_size;   // head included; allocate nodes with this size
  ListField* fields;    // the list's own copy; callers set key bytes here
  ListNode* compare;    // comparison node for GetNode searches
};

enum : uint32_t {  // AddNode / GetNode / RemoveNode modes
  LN_SEARCH = 1, LN_HEAD = 2, LN_CURRENT = 4, LN_INDEX = 8, LN_TAIL = 16,
  LN_NEXT = 32, LN_PREV = 64,
};
enum : uint32_t { SORT_ASCENDING = 128, SORT_DESCENDING = 256 };
enum : uint32_t { RN_FREE_POINTERS = 1, RN_KEEP_NODE = 2 };

// Registers (or replaces) the field table of a list type. node_size 0 means
// the computed size; a given size must not be below it. 1 on success, 0 else.
int RegisterListType(uint32_t number, uint32_t node_size, const ListField* fields, uint32_t count);
// Frees the registered tables (shut-down: every block the program took goes
// back); the built-in types stay known.
void FreeListTypes();
// Node size of a known type (head included), 0 when unknown.
uint32_t ListTypeNodeSize(uint32_t number);

// A new empty list of a known type, or null.
ListHeader* CreateList(uint32_t type);
// Links a caller-allocated node (mode 16 tail, 2 head, 8 before the index-th
// node, index 0 or >= count = tail, 4 before the current node); returns the
// count (unchanged when nothing was added).
uint32_t AddNode(ListHeader* list, ListNode* node, uint32_t mode, uint32_t index);
// Returns a node and makes it current, or null (see the modes above; mode 1
// searches for the comparison node's key fields, +32 after the current node,
// +4 from the current node, +16 backwards from the last node).
ListNode* GetNode(ListHeader* list, uint32_t mode, uint32_t index);
// Unlinks a node (2 first, 16 last, 8 index-th, 4 current) and frees it
// unless RN_KEEP_NODE; returns the new count, -1 when nothing was removed.
int32_t RemoveNode(ListHeader* list, uint32_t mode, uint32_t index, uint32_t flags);
// Exchanges the places of two nodes of the list; 1 on success, 0 else.
int SwapNodes(ListHeader* list, ListNode* a, ListNode* b);
// Stable sort by the fields with a key byte (highest = primary); clears the
// key bytes. 1 on success (also for < 2 nodes), 0 on failure or bad mode.
int SortNode(ListHeader* list, uint32_t mode);
// count x 80-byte lines of the field at data_offset (offset after the head,
// see ListFieldOffset); null for an empty list or an unknown offset.
char* List2StringArray(ListHeader* list, uint32_t data_offset, uint32_t unused);
// Frees every node (flag != 0: first their pointer fields' memory), the
// comparison node, the field table and the header. Null is ignored.
void DeleteList(ListHeader* list, uint32_t flag);

// Offset of field k counted from the end of the node head (for
// List2StringArray), or -1 when k is out of range.
int32_t ListFieldOffset(const ListHeader* list, uint32_t k);
// Address of field k inside a node (null for a bad index or node).
uint8_t* ListFieldPtr(const ListHeader* list, ListNode* node, uint32_t k);

// Frees the pointer fields' memory of one node and clears those pointers.
void FreeNodePointers(const ListHeader* list, ListNode* node);

// ---- Records of the built-in types ----

struct EmailNode {          // type 20: one turn or sign-up mail file
  ListNode head;
  char folder[80];
  char path[140];
  uint32_t size;
  uint64_t date;            // mail-date scale, 64 bits (field 3)
};

struct SmalListEntry {      // type 21: one letter file
  ListNode head;
  uint32_t date;
  char line[80];            // "%-10s : %s" of sender and subject
  char date_text[24];
  char subject[160];
  char sender[40];
  char recipient[40];
  char path[160];
  uint32_t sender_id;
  uint32_t recipient_id;
  char* text;               // LF_TEXT
};

struct StatistikKategorie { // type 22: one statistics category
  ListNode head;
  char name[80];
  uint32_t shown;
  uint32_t index;
};

struct BitMap;
struct RastPort;
struct QoeSemaphore;

struct ObjektListEntry {    // type 40: one 2D object drawn in OpenGL mode
  ListNode head;
  uint32_t visible;
  int32_t x;
  int32_t y;
  uint32_t texture_name;
  uint32_t texture_size;
  BitMap* bitmap;
  RastPort* rastport;
  QoeSemaphore* semaphore;
  ListHeader* dirty;        // list of type 41
};

struct DirtyRect {          // type 41: x, y, width, height (0 = full)
  ListNode head;
  uint32_t x;
  uint32_t y;
  uint32_t width;
  uint32_t height;
};
