// The market's lists drawn headless on the kit's test screen: the stock
// lines, the three requesters with an empty goods list, a full one and
// hostile records, the selection of own-drawn lines with scrolling, the
// offer and sale fields, and the treasury's pictures of gold.
#include "screens/economy/handel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/tests/goods_nodes.h"
#include "routinen/gui/requester.h"
#include "routinen/gui/tests/box_fixture.h"
#include "screens/economy/tests/market_fixture.h"
#include "platform/pngfile.h"
#include "tests/support/catalog_text_check.h"
#include "routinen/system/catalog.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "tests/support/legibility.h"

namespace {

int32_t Pen(int32_t x, int32_t y) { return ReadPixel(ScreenRastPort(), x, y); }

// Pixels of a screen rectangle that differ from pen.
uint32_t Differing(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t pen) {
  uint32_t n = 0;
  for (int32_t y = y1; y <= y2; ++y)
    for (int32_t x = x1; x <= x2; ++x) n += Pen(x, y) != pen;
  return n;
}

class Market : public market_test::MarketRecordTest {
 protected:
  void SetUp() override {
    MarketRecordTest::SetUp();
    d_->spielerListe = CreateList(LIST_PLAYERS);
    AddPlayer(3, "Ingolf");
    AddPlayer(4, "Sigrun of the Long Coast");
    // A stock of a few types.
    Stock(10, 120, 6);
    Stock(27, 35, 61);
    Stock(45, 12, 30);
    Stock(92, 800, 1);
    Stock(99, 5000, 0);
  }
  void AddPlayer(uint32_t id, const char* name) {
    auto* p = static_cast<SpielerEintrag*>(AllocVec(d_->spielerListe->node_size, MEMF_CLEAR));
    p->id = id;
    std::snprintf(p->name, sizeof p->name, "%s", name);
    AddNode(d_->spielerListe, &p->head, LN_TAIL, 0);
  }
  void FullList() {
    Add(WARE_LAGER, 7, 27, 40, 12);
    Add(WARE_FREMD, 3, 27, 40, 55);
    Add(WARE_FREMD, 4, 92, 300, 4, 100, 5);
    Add(WARE_ANGEBOT, 7, 0, 5000, 2);
    Add(WARE_FREMD, 3, 110, 1, 900);
    Add(WARE_ANGEBOT, 7, 45, 8, 40);
  }
  void BuildAll() {
    SetHandelLocaleStrings();
    EXPECT_EQ(InitHandelsWarenRequester(d_), 1);
    EXPECT_EQ(CheckVerkaufsRequester(d_), 1);
    EXPECT_EQ(CheckVerkaufsRequester3(d_), 1);
    SetHandelZahlenStrings(6, 12345);
  }
  void Keep(const char* name) {
    ASSERT_EQ(WriteDisplayPng(name), 1);
    EXPECT_TRUE(qoe_test::KeepPng(name));
  }
};

TEST_F(Market, StockLinesInTypeOrderWithTheirTypes) {
  ASSERT_EQ(CreateWarenReqListBuffer(d_, 0, nullptr), 5u);
  const char* want[5][3] = {{"helmet", "120", "6"},
                            {"claymore", "35", "61"},
                            {"longbow", "12", "30"},
                            {"Furs", "800", "1"},
                            {"stone", "5000", "0"}};
  const uint8_t types[5] = {10, 27, 45, 92, 99};
  for (uint32_t i = 0; i < 5; ++i) {
    for (uint32_t k = 0; k < 3; ++k) EXPECT_STREQ(d_->kaufZeilen[k] + i * 80, want[i][k]) << i << " " << k;
    EXPECT_EQ(d_->kaufTyp[i], types[i]);
  }
  // A type bought up leaves the lines.
  d_->markt.menge[27] = 0;
  ASSERT_EQ(CreateWarenReqListBuffer(d_, 0, nullptr), 4u);
  EXPECT_STREQ(d_->kaufZeilen[0] + 80, "longbow");
  EXPECT_EQ(d_->kaufTyp[1], 45);
  // No stock: no lines.
  d_->markt = WarenMarkt{};
  EXPECT_EQ(CreateWarenReqListBuffer(d_, 0, nullptr), 0u);
  EXPECT_EQ(d_->kaufZeilen[0], nullptr);
}

TEST_F(Market, ListModesThroughTheRecord) {
  FullList();
  char* lines = nullptr;
  EXPECT_EQ(CreateWarenReqListBuffer(d_, 1, &lines), 3u);
  EXPECT_STREQ(lines + 80, "Sigrun of the Long Coast");
  EXPECT_EQ(CreateWarenReqListBuffer(d_, 3, &lines), 3u);  // the old buffer freed first
  EXPECT_STREQ(lines + 80, "300/(100)");
  EXPECT_EQ(CreateWarenReqListBuffer(d_, 4, &lines), 3u);
  EXPECT_STREQ(lines + 80, "4/(5)");
  EXPECT_EQ(CreateWarenReqListBuffer(d_, 5, &lines), 2u);
  EXPECT_STREQ(lines + 80, "longbow ( 8 unit/ price 40 GS )");
  FreeVec(lines);
  EXPECT_EQ(GetWarenNode(d_, 1, WARE_FREMD)->goods, 92u);
  EXPECT_EQ(GetWarenNode(d_, 3, WARE_FREMD), nullptr);
  EXPECT_EQ(GetWarenNode(d_, 0, WARE_LAGER)->quantity, 40u);
}

TEST_F(Market, EmptyGoodsListBuildsOnlyThePurchaseRequester) {
  BuildAll();
  ASSERT_NE(d_->req[HANDEL_KAUF], nullptr);
  EXPECT_EQ(d_->req[HANDEL_KAUF]->lines, 5u);
  EXPECT_EQ(d_->req[HANDEL_FREMD], nullptr);
  EXPECT_EQ(d_->req[HANDEL_EIGEN], nullptr);
  EXPECT_EQ(Differing(271, 306, 452, 399, 0), 0u);  // requester 3's area cleared
  EXPECT_EQ(d_->angebotTyp, -1);
  EXPECT_EQ(d_->verkaufTyp, -1);
  Keep("market_lists_empty.png");
}

TEST_F(Market, FullGoodsListDrawsAllThreeRequesters) {
  qoe_test::DrawnTextRecorder drawn;
  FullList();
  BuildAll();
  // The column heads, like every text drawn, are the catalog's; the lords'
  // names come from the data.
  EXPECT_TRUE(drawn.Drew(GetCatalogStr(1805)));
  EXPECT_TRUE(drawn.Drew(GetCatalogStr(1806)));
  EXPECT_EQ(drawn.PastCatalog(), "");
  ASSERT_NE(d_->req[HANDEL_FREMD], nullptr);
  ASSERT_NE(d_->req[HANDEL_EIGEN], nullptr);
  EXPECT_EQ(d_->req[HANDEL_FREMD]->lines, 3u);
  EXPECT_EQ(d_->req[HANDEL_EIGEN]->lines, 2u);
  // The separators of requester 2, shaded, down to the last line.
  const int32_t y = 48 + 3 * (int32_t)d_->req[HANDEL_FREMD]->lineHeight - 1;
  EXPECT_EQ(Pen(271 + 141, y), 25);
  EXPECT_EQ(Pen(271 + 142, y), 29);
  EXPECT_EQ(Pen(271 + 143, y), 30);
  EXPECT_EQ(Pen(271 + 262, 48), 25);
  EXPECT_NE(Pen(271 + 141, y + 2), 25);
  // Quantity and price columns of requester 1 carry text.
  EXPECT_GT(Differing(16 + 92, 178, 16 + 142, 178 + 11, 6), 0u);
  EXPECT_GT(Differing(16 + 143, 178, 16 + 191, 178 + 11, 6), 0u);
  Keep("market_lists_full.png");
  // Taking an offer fills the offer fields and the header.
  WarenListenEntry* n = GetMarktNode(d_, 1, 0);
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(d_->angebotTyp, 92);
  EXPECT_EQ(d_->gebotMenge, 100u);  // the own bid
  EXPECT_EQ(d_->gebotPreis, 5u);
  EXPECT_EQ(d_->angebotMenge, 300u);
  EXPECT_EQ(d_->angebotPreis, 4u);
  EXPECT_GT(Differing(271, 229, 435, 243, 0), 0u);
  n = GetMarktNode(d_, 0, 0);
  EXPECT_EQ(d_->gebotMenge, 40u);  // no bid: the offer's own values
  EXPECT_EQ(d_->gebotPreis, 55u);
  // Cancel mode takes the bid back.
  d_->gebotSumme = 500 + 100 * 5;
  n = GetMarktNode(d_, 1, 1);
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(d_->gebotSumme, 500u);
  EXPECT_EQ(n->bid_quantity, 0u);
  EXPECT_EQ(n->bid_price, 0u);
  EXPECT_EQ(n->buyer, 0u);
  EXPECT_EQ(GetMarktNode(d_, 3, 0), nullptr);
  // Taking an own offer: corn's maximum is the grain store.
  d_->kornLager = 70000;
  EXPECT_EQ(GetVerkaufsNode(d_, 0), 0);  // no selection
  d_->verkaufAuswahl = 0;
  ASSERT_EQ(GetVerkaufsNode(d_, 0), 1);
  EXPECT_EQ(d_->verkaufTyp, 0);
  EXPECT_EQ(d_->verkaufMax, 70000u);
  EXPECT_EQ(d_->verkaufMenge, 5000u);
  EXPECT_EQ(d_->verkaufPreis, 2u);
  d_->verkaufAuswahl = 1;
  ASSERT_EQ(GetVerkaufsNode(d_, 1), 1);
  EXPECT_EQ(d_->verkaufTyp, 45);
  EXPECT_EQ(d_->verkaufMax, 8u);
  Keep("market_lists_taken.png");
  // The rebuild of requester 3 resets the sale.
  EXPECT_EQ(CheckVerkaufsRequester3(d_), 1);
  EXPECT_EQ(d_->verkaufAuswahl, -1);
  EXPECT_EQ(d_->verkaufTyp, -1);
  EXPECT_EQ(d_->verkaufMenge, 0u);
}

TEST_F(Market, HostileRecordsDrawWithinTheirColumns) {
  Add(WARE_FREMD, 0xFFFFFFFFu, 116, 0xFFFFFFFFu, 0xFFFFFFFEu, 0xFFFFFFFFu, 0xFFFFFFFFu);
  Add(WARE_FREMD, 3, 0xFFFFFFFFu, 4294967000u, 1);
  Add(WARE_ANGEBOT, 7, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu);
  Add(9, 7, 5, 5, 5);
  Stock(115, 0xFFFFFFFFu, 0xFFFFFFFFu);
  BuildAll();
  ASSERT_NE(d_->req[HANDEL_FREMD], nullptr);
  EXPECT_EQ(d_->req[HANDEL_FREMD]->lines, 2u);
  EXPECT_EQ(d_->req[HANDEL_EIGEN]->lines, 1u);
  // The separators stay whole: no text ran over them.
  for (int32_t y = 48; y < 48 + 24; ++y) {
    EXPECT_EQ(Pen(271 + 205, y), 25) << y;
    EXPECT_EQ(Pen(271 + 264, y), 30) << y;
  }
  WarenListenEntry* n = GetMarktNode(d_, 0, 0);
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(d_->angebotTyp, -1);  // unknown good
  d_->verkaufAuswahl = 0;
  EXPECT_EQ(GetVerkaufsNode(d_, 0), 1);
  EXPECT_EQ(d_->verkaufTyp, -1);
  Keep("market_lists_hostile.png");
}

TEST_F(Market, SelectionFollowsScrollingAndIgnoresYOutside) {
  for (uint32_t g = 7; g < 50; ++g) Stock(g, g * 3, g);
  ASSERT_EQ(InitHandelsWarenRequester(d_), 1);
  QoERequester* req = d_->req[HANDEL_KAUF];
  ASSERT_NE(req, nullptr);
  const int32_t lh = (int32_t)req->lineHeight;
  EXPECT_EQ(SelectHandelsZeile(d_, HANDEL_KAUF, 178 + 2 * lh + 1), 2);
  EXPECT_EQ(d_->kaufAuswahl, 2);
  // A click on the selected line keeps it.
  EXPECT_EQ(SelectHandelsZeile(d_, HANDEL_KAUF, 178 + 2 * lh + 3), 2);
  // Below the visible area and above it: no line, the selection stays.
  EXPECT_EQ(SelectHandelsZeile(d_, HANDEL_KAUF, 178 + 244), -1);
  EXPECT_EQ(SelectHandelsZeile(d_, HANDEL_KAUF, 177), -1);
  EXPECT_EQ(d_->kaufAuswahl, 2);
  // Scrolled down: the offset counts.
  ClearHandelsZeile(d_, HANDEL_KAUF);
  EXPECT_EQ(d_->kaufAuswahl, -1);
  MoveSlider(req, SLIDER_END);
  ScrollRequester(req, 0, 0);
  const int32_t offset = (int32_t)req->pixelOffset;
  ASSERT_GT(offset, 0);
  const int32_t want = (1 + offset) / lh;
  EXPECT_EQ(SelectHandelsZeile(d_, HANDEL_KAUF, 178 + 1), want);
  // The highlighted line shows in swapped pens (text pen as background).
  EXPECT_EQ(Pen(16, 179), 5);
  Keep("market_lists_selected.png");
  // Past the last line of a short list.
  d_->markt = WarenMarkt{};
  Stock(10, 1, 1);
  ASSERT_EQ(InitHandelsWarenRequester(d_), 1);
  EXPECT_EQ(SelectHandelsZeile(d_, HANDEL_KAUF, 178 + 3 * lh), -1);
}

TEST_F(Market, FiveThousandOffersShowTheirFirstLines) {
  for (uint32_t i = 0; i < 5000; ++i) Add(WARE_FREMD, 3 + i % 2, 7 + i % 100, 10 + i, 3 + i % 97);
  ASSERT_EQ(CheckVerkaufsRequester(d_), 1);
  QoERequester* req = d_->req[HANDEL_FREMD];
  ASSERT_NE(req, nullptr);
  const uint32_t most = 16384 / req->lineHeight;
  EXPECT_EQ(req->lines, most);
  // The last line shown is drawn, its separator down to its bottom row,
  // and still names its own node.
  const BitMap* c = req->content;
  EXPECT_EQ(c->Pixels[(size_t)(most * req->lineHeight - 1) * c->BytesPerRow + 141], 25);
  EXPECT_STREQ(d_->fremdZeilen[2] + (most - 1) * 80, std::to_string(10 + most - 1).c_str());
  EXPECT_EQ(GetWarenNode(d_, most - 1, WARE_FREMD)->quantity, 10 + most - 1);
}

// Every goods name stands whole in the purchase list, in English and in
// German: each line's name, as drawn, is the whole name as one of the two
// list fonts draws it (at any height in the line), with a gap of at least
// three pixels before its quantity. The stock holds every type at
// five-digit quantities and prices.
void ExpectWholeNames(HandelsData* d, const char* language) {
  for (uint32_t t = 0; t < WAREN_ANZAHL; ++t) {
    d->markt.menge[t] = 99999;
    d->markt.preis[t] = 99999;
  }
  ASSERT_EQ(InitHandelsWarenRequester(d), 1);
  QoERequester* req = d->req[HANDEL_KAUF];
  ASSERT_NE(req, nullptr);
  ASSERT_EQ(req->lines, (uint32_t)WAREN_ANZAHL);
  const BitMap* c = req->content;
  const int32_t lh = (int32_t)req->lineHeight, w = (int32_t)c->Width;
  BitMap* scratch = AllocBitMap(c->Width, (uint32_t)(3 * lh), 8, BMF_CLEAR, nullptr);
  ASSERT_NE(scratch, nullptr);
  RastPort rp;
  InitRastPort(&rp);
  rp.Bitmap = scratch;
  SetDrMd(&rp, 0);
  const uint8_t back = c->Pixels[0];
  int cut = 0;
  for (uint32_t i = 0; i < req->lines; ++i) {
    const char* name = d->kaufZeilen[0] + i * 80;
    const uint32_t len = (uint32_t)std::strlen(name);
    bool whole = false;
    for (TextFont* font : {d->font11, d->font9}) {
      SetFont(&rp, font);
      const int32_t width = (int32_t)TextLength(&rp, name, len);
      if (width + 5 > w) continue;
      // The name drawn with its baseline on the scratch's middle line.
      SetAPen(&rp, back);
      RectFill(&rp, 0, 0, w - 1, 3 * lh - 1);
      SetAPen(&rp, 1);
      Move(&rp, 2, lh + (int32_t)rp.TxBaseline);
      Text(&rp, name, len);
      for (int32_t shift = -lh + 1; !whole && shift < lh; ++shift) {
        bool same = true;
        for (int32_t y = 0; same && y < lh; ++y)
          for (int32_t x = 0; same && x < std::min(w, 2 + width + 3); ++x) {
            const bool ink = scratch->Pixels[(size_t)(lh + y - shift) * scratch->BytesPerRow + x] != back;
            const bool drawn = c->Pixels[(size_t)(i * lh + y) * c->BytesPerRow + x] != back;
            same = ink == drawn;
          }
        whole = same;
      }
    }
    if (!whole) {
      ADD_FAILURE() << language << ": \"" << name << "\" is not drawn whole";
      ++cut;
    }
  }
  EXPECT_EQ(cut, 0);
  FreeBitMap(scratch);
}

TEST_F(Market, EveryGoodsNameStandsWholeInThePurchaseList) {
  ExpectWholeNames(d_, "English");
  const std::vector<uint8_t> german = qoe_test::ReadFileBytes(qoe_test::BinaryDir() + "/datakit/Catalogs/deutsch/QoEBrowser.catalog");
  ASSERT_FALSE(german.empty());
  Catalog* cat = OpenCatalogFromMemory(german.data(), (uint32_t)german.size(), CatalogStrings, CATALOG_STRING_COUNT);
  ASSERT_NE(cat, nullptr);
  ExpectWholeNames(d_, "German");
  CloseCatalog(cat);
}

// The lists' lines (a highlighted one too), the sale's line and the number
// boxes read on their grounds at a contrast of at least 3 : 1, measured on
// the shown screen.
TEST_F(Market, ListsAndNumberBoxesReadOnTheirGrounds) {
  FullList();
  BuildAll();
  ASSERT_EQ(WriteDisplayPng("market_contrast.png"), 1);
  EXPECT_TRUE(qoe_test::KeepPng("market_contrast.png"));
  std::vector<uint32_t> px;
  uint32_t w = 0, h = 0;
  ASSERT_EQ(ReadPngRGB("market_contrast.png", &px, &w, &h), 1);
  const int32_t lh1 = (int32_t)d_->req[HANDEL_KAUF]->lineHeight, lh2 = (int32_t)d_->req[HANDEL_FREMD]->lineHeight,
                lh3 = (int32_t)d_->req[HANDEL_EIGEN]->lineHeight;
  struct Place {
    const char* what;
    int x1, y1, x2, y2;
  };
  const Place places[] = {
      {"purchase line", 16, 178, 207, 178 + lh1 - 1},   {"offer line", 271, 48, 589, 48 + lh2 - 1},
      {"own offer line", 271, 306, 452, 306 + lh3 - 1}, {"sale line", 271, 407, 452, 421},
      {"treasury", 535, 389, 599, 403},                 {"sale quantity", 292, 448, 323, 461},
  };
  for (const Place& p : places) {
    const qoe_test::TextInk t = qoe_test::TextContrast(px, w, p.x1, p.y1, p.x2, p.y2);
    EXPECT_GE(t.contrast, 3.0) << p.what << ": " << std::hex << t.ink << " on " << t.ground;
  }
  // The purchase list's title and its column heads on the band above the
  // list: two rows of text with an empty pixel row between them.
  const uint32_t ink = 0x281808;  // pen 7 of the kit's palette, the captions' pen
  std::vector<int> rows;
  for (int y = 141; y <= 176; ++y)
    for (int x = 16; x <= 207; ++x)
      if (px[(size_t)y * w + x] == ink) {
        rows.push_back(y);
        break;
      }
  ASSERT_FALSE(rows.empty());
  int runs = 1;
  for (size_t k = 1; k < rows.size(); ++k) runs += rows[k] != rows[k - 1] + 1;
  EXPECT_EQ(runs, 2) << "the title and the heads run into each other";
  // A highlighted purchase line.
  ASSERT_EQ(SelectHandelsZeile(d_, HANDEL_KAUF, 178 + 1), 0);
  ASSERT_EQ(WriteDisplayPng("market_contrast_selected.png"), 1);
  ASSERT_EQ(ReadPngRGB("market_contrast_selected.png", &px, &w, &h), 1);
  const qoe_test::TextInk t = qoe_test::TextContrast(px, w, 16, 178, 207, 178 + lh1 - 1);
  EXPECT_GE(t.contrast, 3.0) << "highlighted line: " << std::hex << t.ink << " on " << t.ground;
}

TEST_F(Market, GoodsPictureWithoutAnimation) {
  // No movie base (as in OpenGL mode): the type's picture at (16, 16).
  ShowWarenBild(d_, 27);
  const uint32_t id = (uint32_t)WarenTabelle[27].picture;
  ASSERT_EQ(OpenElmorGfx(".\\Data\\Path", id), 1);
  const BitMap* bm = ElmorGfxBitMap(id);
  ASSERT_NE(bm, nullptr);
  uint32_t same = 0;
  for (uint32_t y = 0; y < 120; ++y)
    for (uint32_t x = 0; x < 160; ++x) same += Pen(16 + (int32_t)x, 16 + (int32_t)y) == bm->Pixels[y * bm->BytesPerRow + x];
  CloseElmorGfx(id);
  EXPECT_EQ(same, 160u * 120u);
  Keep("market_goods_picture.png");
  // A type without picture, and an unknown type, leave the area cleared.
  for (uint32_t type : {4u, 116u}) {
    ShowWarenBild(d_, type);
    EXPECT_EQ(Differing(16, 16, 175, 135, 0), 0u) << type;
  }
}

TEST_F(Market, NoStockClearsThePurchaseArea) {
  ASSERT_EQ(InitHandelsWarenRequester(d_), 1);
  ASSERT_NE(d_->req[HANDEL_KAUF], nullptr);
  d_->markt = WarenMarkt{};
  ASSERT_EQ(InitHandelsWarenRequester(d_), 1);
  EXPECT_EQ(d_->req[HANDEL_KAUF], nullptr);
  EXPECT_EQ(Differing(16, 178, 207, 421, 0), 0u);
}

TEST_F(Market, TreasuryPicturesAtTheirThresholds) {
  EXPECT_EQ(SchatzBild(0), 341u);
  EXPECT_EQ(SchatzBild(9999), 341u);
  EXPECT_EQ(SchatzBild(10000), 342u);
  EXPECT_EQ(SchatzBild(99999), 342u);
  EXPECT_EQ(SchatzBild(100000), 343u);
  EXPECT_EQ(SchatzBild(0xFFFFFFFFu), 343u);
  for (uint32_t v : {9999u, 10000u, 99999u, 100000u}) {
    ASSERT_EQ(SetHandelZahlenStrings(6, v), 1);
    const uint32_t id = SchatzBild(v);
    ASSERT_EQ(OpenElmorGfx(".\\Data\\Path", id), 1);
    const BitMap* bm = ElmorGfxBitMap(id);
    ASSERT_NE(bm, nullptr);
    EXPECT_EQ(bm->Width, 111u);
    EXPECT_EQ(bm->Height, 76u);
    uint32_t same = 0;
    for (uint32_t y = 0; y < 76; ++y)
      for (uint32_t x = 0; x < 111; ++x)
        same += Pen(512 + (int32_t)x, 307 + (int32_t)y) == bm->Pixels[y * bm->BytesPerRow + x];
    CloseElmorGfx(id);
    EXPECT_EQ(same, 111u * 76u) << v;
    std::string name = "market_treasury_" + std::to_string(v) + ".png";
    Keep(name.c_str());
  }
  // The number areas draw; other areas draw nothing.
  for (uint32_t w = 1; w <= 5; ++w) EXPECT_EQ(SetHandelZahlenStrings(w, 4294967295u), 1);
  EXPECT_EQ(SetHandelZahlenStrings(7, 1), 1);
}

}  // namespace
