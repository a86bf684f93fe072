// Pieces the diplomacy screen's sub-screens share (diplomat.cpp, vertrag.cpp,
// handelsvertrag.cpp, botschaften.cpp); not for other modules.
#pragma once
#include <cstdint>

#include "screens/military/diplomat.h"

struct Gadget;
struct SpielerEintrag;

// List boxes: ink on parchment, the highlight inverted.
enum : uint32_t { kDiplomatListBack = 5, kDiplomatListText = 7, kDiplomatHiBack = 7, kDiplomatHiText = 1 };

// One pass of a sub-screen's loop: the title bar, WaitEvent with ticks, the
// gadget hit (null none); *event gets WaitEvent's code when asked.
Gadget* DiplomatNextGadget(DiplomatScreenData* d, int32_t* event = nullptr);
// The scroll gadgets of a box: DOnn, UPnn, SLnn. True when g was one.
bool DiplomatScroll(const Gadget* g, const char* nn, QoERequester* req);
// The entry of a box under the mouse, highlighted; -1 none.
int32_t DiplomatPickLine(QoERequester* req);
// A sub-screen's start: picture 34 and the hub's layout give way to the
// sub-screen's. 0 (logged) when its picture or layout cannot be opened.
int32_t DiplomatEnterSub(DiplomatScreenData* d, uint32_t index, const char* name);
// A sub-screen's end: its picture and layout closed, the hub's back. 0 when
// the hub cannot be shown again.
int32_t DiplomatLeaveSub(DiplomatScreenData* d);
// A sub-screen that failed: the line logged, the player told that the game
// ends when he leaves the screen. Returns -1.
int32_t DiplomatSubFailed(const char* line);
// Frees the document box and its text, the vassal lines and the left box.
void DiplomatFreeBoxes(DiplomatScreenData* d);
// Fills screen rectangle x1..x2, y1..y2 with pen and shows it.
void DiplomatFillRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t pen);
// The lord chosen in the player list (selPlayer), null none.
SpielerEintrag* DiplomatSelectedPlayer(DiplomatScreenData* d);
// The first record of line `line` of the mode's grouping, null none.
ListNode* VertragLineStart(DiplomatScreenData* d, uint32_t mode, uint32_t line);
// The goods of line goods_line of the trade form's goods list: corn from
// KORN on line 0 when there is corn, else the store's kind-5 records in file
// order (goods type, quantity, the record's closing word). False none.
bool TradeGoodsOfLine(DiplomatScreenData* d, int32_t goods_line, uint32_t* goods, int64_t* available,
                      uint16_t* closing);
// The received offer the trade form shows: selGoods steps from selOffer,
// never past the sender's run of kind-0 records; null none.
ListNode* TradeOfferNode(DiplomatScreenData* d);
// A button's face on the place of gadget id: a wooden rim round parchment
// with the catalog text centred in ink (the sub-screens whose pictures
// leave their captions to the program).
void DiplomatButtonCaption(DiplomatScreenData* d, const char* id, uint32_t text);
// Loads chunk id of the one-chunk file path and scans it into list; a
// missing or empty file adds nothing. 1, or 0 with the failing step's line
// (load_fail, scan_fail) logged.
int32_t DiplomatScanFile(ListHeader* list, const char* path, const char* id,
                         int32_t (*scan)(ListHeader*, const void*), const char* load_fail, const char* scan_fail);
