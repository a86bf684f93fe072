// Shared set-up of the market's record tests: the box fixture's display, the
// goods list types, the own player 7 "Harald", and a new market record with
// both fonts and an empty goods list.
#pragma once
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/tests/goods_nodes.h"
#include "routinen/gui/tests/box_fixture.h"
#include "routinen/system/fonts.h"
#include "routinen/system/lists.h"
#include "screens/economy/handel.h"

namespace market_test {

class MarketRecordTest : public box_test::BoxTest {
 protected:
  void SetUp() override {
    BoxTest::SetUp();
    RegisterGameDataListTypes();
    SetGameDataOwner(7, "Harald");
    d_ = NewHandelsData();
    ASSERT_NE(d_, nullptr);
    d_->font11 = OpenDiskFont("fonts\\XHelvetica11.fnt");
    d_->font9 = OpenDiskFont("fonts\\XHelvetica9.fnt");
    ASSERT_NE(d_->font11, nullptr);
    ASSERT_NE(d_->font9, nullptr);
    d_->warenListe = CreateList(LIST_GOODS);
    d_->marktGeladen = 1;  // the stock in memory, as a visit keeps it
  }
  void TearDown() override {
    FreeHandelsData(d_);
    ResetChunkPoolState();
    BoxTest::TearDown();
  }
  WarenListenEntry* Add(uint16_t kind, uint32_t owner, uint32_t type, uint32_t quantity, uint32_t price,
                        uint32_t bid_q = 0, uint32_t bid_p = 0) {
    return goods_test::AddWare(d_->warenListe, {kind, owner, type, quantity, price, bid_q, bid_p});
  }
  void Stock(uint32_t type, uint32_t quantity, uint32_t price) {
    d_->markt.menge[type] = quantity;
    d_->markt.preis[type] = price;
  }
  HandelsData* d_ = nullptr;
};

}  // namespace market_test
