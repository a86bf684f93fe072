// The market screen (code 108): buying from the turn's stock, bidding on
// other players' offers, offering own goods or corn, withdrawing offers,
// and the one write of everything on OKOK. The lists and drawing are in
// handellisten.cpp; the rules are in docs/market.md.
#include <cstdio>
#include <cstring>
#include <string>

#include "screens/economy/handel.h"

#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/towns.h"
#include "routinen/gamedata/turns.h"
#include "routinen/gui/boxes.h"
#include "routinen/gui/chiefmessage.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/requester.h"
#include "routinen/gui/text.h"
#include "routinen/internetlowlevel/irc.h"
#include "routinen/media/movie.h"
#include "routinen/media/sound.h"
#include "routinen/system/catalog.h"
#include "routinen/system/files.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/input.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "routinen/system/options.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "routinen/system/timer.h"
#include "screens/common/numberentry.h"
#include "screens/common/orders.h"
#include "screens/common/screenbase.h"
#include "screens/economy/ambience.h"

namespace {

constexpr uint32_t kPicture = 108;
constexpr uint32_t kLayoutMask = 51;  // text areas, gadgets, slider tracks, value fields
constexpr int32_t kNextScreen = 39;
constexpr uint32_t kTitlePen = 7;
constexpr uint32_t kBoxPen = 7;
constexpr uint32_t kPenBack = 6, kPenText = 7;
constexpr uint32_t kHandelWriteFailed = 127;  // "The data could not be saved."
constexpr uint32_t kFirstSfx = 39, kLastSfx = 44;
// A damaged stock: the goods not offered by name (up to kDefektNamen of
// them), else by number.
constexpr uint32_t kDefektWarenText = 1685, kDefektAnzahlText = 1686, kDefektNamen = 3;
// A damaged goods store: what the market does without it, and the word on an order that needs it.
constexpr uint32_t kLagerDefektText = 1692, kLagerDefektOrder = 1693;
constexpr uint8_t kCdTrack = 7;
constexpr uint32_t kTown49 = 49;
constexpr uint32_t kNone = 0xFFFFFFFFu;
const char kSfx[] = ".\\Data\\SfxPath";
const char kWarenChunk[] = ".\\Data\\WarenChunk.qoe";
const char kWarenDat[] = ".\\Data\\Waren.dat";
const char kSpielerList[] = ".\\Data\\SpielerList.qoe";

// Chunk fields (offsets from the chunk start, header included).
constexpr uint32_t kLandSchatz = 34, kKornLager = 22, kKornSpeicher = 30, kKornSilos = 50;
constexpr uint32_t kTaxeAbgabe = 22, kTaxeWaren = 58;

bool Fits(const uint8_t* chunk, uint32_t off, uint32_t size) {
  return chunk && ChunkLength(chunk) + sizeof(ChunkHeader) >= off + size;
}

bool Stands(const st_TOWN* town, uint32_t building) {
  return town && building < TOWN_BUILDINGS && (town->buildings[building].flags & BUILDING_STANDS) != 0;
}

void OkBox(const char* text) { ChiefMessage(66, 168, 180, 0, 0, 0, 0, text, kBoxPen); }

void MoneyBox() {
  char text[240];
  std::snprintf(text, sizeof text, "%s %s%s", GetCatalogStr(683), GetCatalogStr(657), GetCatalogStr(684));
  OkBox(text);
}

// The index of node in list, or -1.
int32_t NodeIndex(ListHeader* list, const void* node) {
  int32_t i = 0;
  for (ListNode* n = list ? list->first : nullptr; n && i < (int32_t)list->count; n = n->next, ++i)
    if (n == node) return i;
  return -1;
}

uint32_t Limit32(uint64_t v) { return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : (uint32_t)v; }

// Free granary space.
uint64_t FreierSpeicher(const HandelsData* d) {
  return d->kornKapazitaet > d->kornLager ? d->kornKapazitaet - d->kornLager : 0;
}

// Loads chunk id of the turn (outgoing pool first) into *out; 1 loaded,
// 0 absent, -1 damaged.
int32_t TurnChunk(const char* id, uint8_t** out) {
  const int32_t r = LoadTurnChunk(id, out);
  return r == TURN_CHUNK_FAILED ? -1 : r == TURN_CHUNK_ABSENT ? 0 : 1;
}

}  // namespace

// ---- reading and writing ----------------------------------------------------

int32_t ReadHandelsScreenData(HandelsData* d) {
  if (!d) return 0;
  d->gelesen = 0;
  if (!OrdersAllowed(ReadAccountState())) return 1;
  const int32_t land = TurnChunk("LAND", &d->land);
  if (land == 0 || (land == 1 && !Fits(d->land, kLandSchatz, 4))) {
    DebugLog("ReadHandelsScreenData : Fataler Fehler ! Kein LAND-Chunk vorhanden !\n");
    return 0;
  }
  if (land < 0) {
    DebugLog("ReadHandelsScreenData : Konnte KornChunk nicht \xF6" "ffnen \n");
    return 0;
  }
  d->schatz = ChunkGet32(d->land, kLandSchatz);
  // A turn without research counts its levels as 0: the market still opens.
  if (LoadChunkState("FORS", ReceivedPoolPath, &d->fors) == CHUNK_DAMAGED) {
    DebugLog("ReadHandelsScreenData : Konnte ForschungsChunk nicht \xF6" "ffnen \n");
    return 0;
  }
  uint8_t* taxe = nullptr;
  const int32_t ts = LoadChunkState("TAXE", ReceivedPoolPath, &taxe);
  if (ts == CHUNK_DAMAGED) {
    DebugLog("ReadHandelsScreenData : Konnte SteurenChunk nicht \xF6" "ffnen \n");
    return 0;
  }
  d->abgabe = Fits(taxe, kTaxeAbgabe, 2) ? ChunkGet16(taxe, kTaxeAbgabe) : 0;
  if (taxe) FreeChunk(taxe);
  uint8_t* korn = nullptr;
  const int32_t ks = TurnChunk("KORN", &korn);
  if (ks <= 0 || !Fits(korn, kKornLager, 4)) {
    DebugLog(ks < 0 ? "ReadHandelsScreenData : Konnte KornChunk nicht \xF6" "ffnen \n"
                    : "ReadHandelsScreenData : KornChunk nicht vorhanden !\n");
    if (korn) FreeChunk(korn);
    return 0;
  }
  d->kornLager = ChunkGet32(korn, kKornLager);
  // The granary capacity as the granary screen computes it.
  const uint64_t speicher = Fits(korn, kKornSpeicher, 4) ? ChunkGet32(korn, kKornSpeicher) : 0;
  const uint64_t silos = Fits(korn, kKornSilos, 4) ? ChunkGet32(korn, kKornSilos) : 0;
  d->kornKapazitaet = speicher * 40000u + silos * 200000u;
  FreeChunk(korn);
  // A damaged goods store: the market opens to be looked at, without the
  // orders that need the store, and the file is never written over.
  const int32_t ws = ChunkState("WARE", kWarenChunk);
  if (ws == CHUNK_DAMAGED) {
    DebugLog("ReadHandelsScreenData : Konnte WarenChunk nicht \xF6" "ffnen \n");
    d->lagerDefekt = 1;
  } else if (ws != CHUNK_ABSENT && LoadChunkState("WARE", kWarenChunk, &d->ware) != CHUNK_GOOD) {
    DebugLog("ReadHandelsScreenData : Konnte WarenChunk nicht \xF6" "ffnen \n");
    return 0;
  }
  if (ChunkState("ANTW", kSpielerList) != CHUNK_ABSENT && LoadChunkState("ANTW", kSpielerList, &d->antw) != CHUNK_GOOD) {
    DebugLog("ShowTradeData : Konnte SpielerList nicht \xF6" "ffnen !");
    return 0;
  }
  d->stadt = GetActiveTown(OwnPlayerPtr->ActiveTown);
  if (!d->stadt) DebugLog("ReadHandelsScreenData : Konnte Stadt nicht laden...\n");
  d->werte[0] = (int32_t)CheckPrefs(PREFS_LUXURY_VALUE1, 0, 0);
  d->werte[1] = (int32_t)CheckPrefs(PREFS_LUXURY_VALUE2, 0, 0);
  d->werte[2] = (int32_t)CheckPrefs(PREFS_LUXURY_VALUE3, 0, 0);
  d->gelesen = d->lagerDefekt ? 0 : 1;
  return 1;
}

int32_t WriteHandelsScreenData(HandelsData* d) {
  if (!d) return 0;
  if (!d->gelesen) return 1;  // nothing was read, so nothing of the turn changes
  uint8_t* korn = nullptr;
  uint8_t* taxe = nullptr;
  uint8_t* ware = nullptr;
  uint8_t* pool = nullptr;
  uint8_t* wareDisk = nullptr;
  int32_t ok = 1;
  const int32_t ks = TurnChunk("KORN", &korn);
  if (ks <= 0 || !Fits(korn, kKornLager, 4)) {
    DebugLog(ks < 0 ? "WriteHandelsScreenData : Konnte KornChunk nicht \xF6" "ffnen \n"
                    : "WriteHandelsScreenData : LandChunk nicht vorhanden !\n");
    ok = 0;
  }
  if (ok && !Fits(d->land, kLandSchatz, 4)) ok = 0;
  PoolChange changes[3] = {};
  uint32_t n = 0;
  if (ok) {
    ChunkPut32(korn, kKornLager, d->kornLager);
    ChunkPut32(d->land, kLandSchatz, d->schatz);
    changes[n++] = {korn, nullptr};
    changes[n++] = {d->land, nullptr};
  }
  // The goods count of the turn's first visit, when the market hall stands.
  if (ok && d->warenAnzahl != kNone && Stands(d->stadt, kTown49)) {
    const int32_t ts = TurnChunk("TAXE", &taxe);
    if (ts <= 0 || !Fits(taxe, kTaxeWaren, 4)) {
      DebugLog(ts < 0 ? "ReadHandelsScreenData : Konnte SteurenChunk nicht \xF6" "ffnen \n"
                      : "ReadHandelsScreenData : SteuernChunk nicht vorhanden !\n");
      ok = 0;
    } else {
      ChunkPut32(taxe, kTaxeWaren, d->warenAnzahl);
      changes[n++] = {taxe, nullptr};
    }
  }
  uint32_t poolSize = 0, wareSize = 0;
  if (ok && !(pool = ChangedPoolImage(OutgoingPoolPath, changes, n, &poolSize))) ok = 0;
  if (ok && !(ware = MakeWareChunkFromList(d->warenListe))) {
    DebugLog("WriteHandelsScreenData : Konnte Chunk nicht anlegen\n");
    ok = 0;
  }
  if (ok) {
    wareSize = (uint32_t)sizeof(ChunkHeader) + ChunkLength(ware);
    wareDisk = static_cast<uint8_t*>(AllocVec(wareSize, MEMF_PUBLIC));
    if (!wareDisk) ok = 0;
    else {
      std::memcpy(wareDisk, ware, wareSize);
      ok = SwapByteOrderInChunk(wareDisk, wareSize, 0);
    }
    if (!ok) DebugLog("WriteHandelsScreenData : Konnte Chunk nicht anlegen\n");
  }
  // The damaged records as they were read: the screen never made anything of them.
  WarenMarkt bestand = d->markt;
  for (uint32_t g = 0; g < WAREN_ANZAHL; ++g)
    if (d->marktDefekt[g]) bestand.menge[g] = d->marktRoh.menge[g], bestand.preis[g] = d->marktRoh.preis[g];
  uint8_t markt[WAREN_DAT_SIZE];
  PutWarenMarkt(&bestand, markt);
  if (ok) {
    FileSet* set = BeginFileSet();
    ok = set != nullptr;
    if (ok) ok = FileSetWrite(set, OutgoingPoolPath, pool, poolSize);
    if (ok) ok = FileSetWrite(set, kWarenChunk, wareDisk, wareSize);
    if (ok && d->marktGeladen) ok = FileSetWrite(set, kWarenDat, markt, WAREN_DAT_SIZE);
    const int32_t done = set ? CommitFileSet(set) : 0;  // a failed set commits nothing
    ok = done && ok;
    if (ok && done == FILESET_PART && TakePartSaveNotice()) OkBox(CommitPartText());  // saved in part, finished later
  }
  if (!ok) DebugLog("WriteHandelsScreenData : Die Marktdaten konnten nicht gespeichert werden, keine Datei wurde ge\xE4ndert.\n");
  FreeVec(pool);
  FreeVec(wareDisk);
  for (uint8_t* c : {korn, taxe, ware})
    if (c) FreeChunk(c);
  return ok;
}

int32_t LoadHandelScreenSfx() {
  for (uint32_t id = kFirstSfx; id <= kLastSfx; ++id)
    if (OpenElmorSfx(kSfx, id) != 1) {
      DebugLog("LoadHandelScreenSfx : Konnte Sound-FX nicht \xF6" "ffnen!\n");
      for (uint32_t k = kFirstSfx; k < id; ++k) CloseElmorSfx000(k);
      return 0;
    }
  return 1;
}

void CloseHandelScreenSfx() {
  for (uint32_t id = kFirstSfx; id <= kLastSfx; ++id) CloseElmorSfx000(id);
}

int32_t InitAllThingsHandel(HandelsData* d) {
  if (!d) return 0;
  d->movieBase = AllocMovieBase(GetTitelScreenData(), GetAFXDisplayFlag(), GetAFXOptionFlag(), AFX_NONE);
  if (!d->movieBase) {
    DebugLog("InitAllThingsHandel: AllocMovieBase fehlgeschlagen...\n");
    return 0;
  }
  d->warenListe = CreateList(LIST_GOODS);
  if (!d->warenListe) {
    DebugLog("InitAllThingsHandel: kein Speicher f\xFCr ListHeader vorhanden...\n");
    return 0;
  }
  if (d->ware && !ScanWare2List(d->warenListe, d->ware)) {
    DebugLog("InitAllThingsHandel: Ware konnt nicht in eine Liste eingescannt werden...\n");
    return 0;
  }
  if (d->antw) {
    d->spielerListe = CreateList(LIST_PLAYERS);
    if (d->spielerListe && !ScanSpieler2List(d->spielerListe, d->antw)) DebugLog("ShowTradeData : Konnte SpielerList nicht \xF6" "ffnen !");
  }
  d->gebotSumme = 0;
  DebugLog("Ort : HandelsScreen...\n");
  uint32_t i = 0;
  for (ListNode* n = d->warenListe->first; n && i < d->warenListe->count; n = n->next, ++i) {
    auto* w = reinterpret_cast<WarenListenEntry*>(n);
    if (w->kind == WARE_FREMD && HatWarenGebot(w)) d->gebotSumme += uint64_t(w->bid_quantity) * w->bid_price;
    DebugLog("Node Nr %u: Info: %u Identifier :%lx Verk\xE4ufer : %lu Kaeufer %lu\n", i, w->kind,
             (unsigned long)w->ident, (unsigned long)w->owner, (unsigned long)w->buyer);
  }
  d->font11 = OpenDiskFont("fonts\\XHelvetica11.fnt");
  d->font9 = OpenDiskFont("fonts\\XHelvetica9.fnt");
  if (!d->font11 || !d->font9) {
    DebugLog("InitAllThingsHandel: Konnte Elmor-Font nicht \xF6" "ffnen !\n");
    return 0;
  }
  if (!SetHandelLocaleStrings()) return 0;
  SetHandelZahlenStrings(6, d->schatz);
  DrawKaufFeld(d);
  return 1;
}

// ---- the operations -----------------------------------------------------------

int32_t MakeNewWarenNode(HandelsData* d) {
  if (!d || d->kaufAuswahl < 0 || (uint32_t)d->kaufAuswahl >= d->kaufAnzahl || d->kaufMenge == kNone) return HANDEL_FEHLER;
  const uint32_t type = d->kaufTyp[d->kaufAuswahl];
  int32_t r = HANDEL_ERLEDIGT;
  const uint64_t kosten = uint64_t(d->kaufMenge) * d->kaufPreis;
  if (d->kaufMenge == 0 || d->kaufMenge > d->markt.menge[type]) {
    DebugLog("MakeNewWarenNode : Konnte Ware nicht ermitteln\n");
    r = HANDEL_FEHLER;
  } else if (kosten > d->schatz) {
    r = HANDEL_ABGELEHNT;
  } else if (!AddWare2List(d->warenListe, WARE_LAGER, type, d->kaufMenge, d->kaufPreis)) {
    DebugLog("MakeNewWarenNode : Konnte neue Node nicht hinzuf\xFCgen...\n");
    r = HANDEL_FEHLER;
  } else {
    // The store took the goods: now the stock and the gold follow.
    d->markt.menge[type] -= d->kaufMenge;
    d->schatz -= (uint32_t)kosten;
    SetHandelZahlenStrings(6, d->schatz);
    if (!InitHandelsWarenRequester(d)) DebugLog("MakeNewWarenNode : Konnte Requester nicht anlegen !\n");
  }
  d->kaufMenge = d->kaufMax = 0;
  DrawKaufFeld(d);
  return r;
}

int32_t SetAngebot2Node(HandelsData* d) {
  if (!d || !d->angebotNode || d->angebotTyp < 0) return HANDEL_FEHLER;
  WarenListenEntry* n = d->angebotNode;
  const uint64_t gebot = uint64_t(d->gebotMenge) * d->gebotPreis;
  const uint64_t alt = HatWarenGebot(n) ? uint64_t(n->bid_quantity) * n->bid_price : 0;
  const uint64_t andere = d->gebotSumme > alt ? d->gebotSumme - alt : 0;
  if (gebot > d->schatz || andere + gebot > d->schatz) return HANDEL_ABGELEHNT;
  n->buyer = GameDataOwnerID();
  n->bid_quantity = d->gebotMenge;
  n->bid_price = d->gebotPreis;
  d->gebotSumme = andere + gebot;
  d->angebotNode = nullptr;
  if (!CheckVerkaufsRequester(d)) DebugLog("SetAngebot2Node : Konnte Requester nicht updaten !\n");
  return HANDEL_ERLEDIGT;
}

int32_t MakeVerkauf(HandelsData* d) {
  if (!d || d->verkaufTyp < 0 || d->verkaufMenge == 0) return HANDEL_ABGELEHNT;
  const uint32_t type = (uint32_t)d->verkaufTyp;
  int32_t r = HANDEL_ERLEDIGT;
  if (d->verkaufAuswahl < 0) {
    if (type == 0 && d->verkaufMenge > d->kornLager) r = HANDEL_FEHLER;
    else if (!AddWare2List(d->warenListe, WARE_ANGEBOT, type, d->verkaufMenge, d->verkaufPreis)) r = HANDEL_FEHLER;
    else if (type == 0) d->kornLager -= d->verkaufMenge;
  } else if (WarenListenEntry* n = d->verkaufNode) {
    if (d->verkaufMenge < n->quantity) {
      const uint32_t rest = n->quantity - d->verkaufMenge;
      if (type == 0) {
        // Corn goes back only as far as the granaries hold it.
        const uint32_t zurueck = Limit32(rest < FreierSpeicher(d) ? rest : FreierSpeicher(d));
        d->kornLager += zurueck;
        n->quantity -= zurueck;
        if (zurueck < rest) r = HANDEL_REST;
      } else if (!AddWare2List(d->warenListe, WARE_LAGER, type, rest, n->price)) {
        r = HANDEL_FEHLER;
      } else {
        n->quantity = d->verkaufMenge;
      }
    }
    if (r != HANDEL_FEHLER) n->price = d->verkaufPreis;
  } else {
    r = HANDEL_FEHLER;
  }
  if (r == HANDEL_FEHLER) DebugLog("HandelsScreen : Konnte Ware nicht zur Liste hinzuf\xFCgen\n");
  d->verkaufTyp = -1;
  d->verkaufNode = nullptr;
  if (!CheckVerkaufsRequester3(d)) DebugLog("HandelsScreen : Konnte Requester nicht anlegen !\n");
  return r;
}

int32_t DeleteWareFromList(HandelsData* d) {
  if (!d || d->verkaufAuswahl < 0 || !d->verkaufNode) return HANDEL_FEHLER;
  WarenListenEntry* n = d->verkaufNode;
  DebugLog("Gefundene Node ...\n");
  DebugLog("Warentyp %lu\n", (unsigned long)n->goods);
  DebugLog("WarenAnzahl %lu\n", (unsigned long)n->quantity);
  DebugLog("WarenPres %lu\n", (unsigned long)n->price);
  int32_t r = HANDEL_ERLEDIGT;
  if (n->goods == 0) {
    const uint64_t frei = FreierSpeicher(d);
    if (n->quantity > frei) {
      d->kornLager += (uint32_t)frei;
      n->quantity -= (uint32_t)frei;
      r = HANDEL_REST;
    } else {
      d->kornLager += n->quantity;
    }
  } else if (!AddWare2List(d->warenListe, WARE_LAGER, n->goods, n->quantity, n->price)) {
    DebugLog("DeleteWareFromList : Konnte neue Node nicht hinzuf\xFCgen...\n");
    return HANDEL_FEHLER;
  }
  if (r == HANDEL_ERLEDIGT) {
    const int32_t i = NodeIndex(d->warenListe, n);
    if (i >= 0) RemoveNode(d->warenListe, 8, (uint32_t)i, 0);
  }
  d->verkaufNode = nullptr;
  if (!CheckVerkaufsRequester3(d)) DebugLog("HandelsScreen : Konnte Requester nicht anlegen !\n");
  return r;
}

int32_t ChooseVerkaufsWare(HandelsData* d, uint32_t line) {
  if (!d) return 0;
  if (line == 0) {
    d->verkaufTyp = 0;
    d->verkaufMax = d->kornLager;
  } else {
    WarenListenEntry* n = FindWarenNode(d->warenListe, line - 1, WARE_LAGER);
    if (!n || !IsWarenTyp(n->goods)) return 0;
    d->verkaufTyp = (int16_t)n->goods;
    d->verkaufMax = n->quantity;
  }
  d->verkaufAuswahl = -1;
  d->verkaufNode = nullptr;
  d->verkaufMenge = 0;
  ShowWarenBild(d, (uint32_t)d->verkaufTyp);
  DrawVerkaufsFelder(d);
  return 1;
}

uint32_t HandelSchritte(uint32_t n, uint32_t steps[3]) {
  if (n <= 20) {
    steps[0] = 1;
    return 1;
  }
  steps[0] = 10;
  if (n <= 40) return 1;
  steps[1] = 100;
  if (n <= 60) return 2;
  steps[2] = 1000;
  return 3;
}

namespace {

// The field of a button and its bounds; null when the field is not in use.
uint32_t* KnopfFeld(HandelsData* d, uint32_t button, uint64_t* lo, uint64_t* hi) {
  *lo = 0;
  *hi = 0xFFFFFFFFu;
  switch (button / 2) {
    case 0:
      if (d->kaufMenge == kNone || d->kaufMax == 0) return nullptr;
      *lo = 1;
      *hi = d->kaufMax;
      return &d->kaufMenge;
    case 1:
      if (d->angebotTyp < 0) return nullptr;
      *lo = 1;
      *hi = d->angebotMenge;
      return &d->gebotMenge;
    case 2:
      if (d->angebotTyp < 0) return nullptr;
      *lo = d->angebotPreis;
      return &d->gebotPreis;
    case 3:
      if (d->verkaufTyp < 0) return nullptr;
      *hi = d->verkaufMax;
      return &d->verkaufMenge;
    default:
      if (d->verkaufTyp < 0) return nullptr;
      return &d->verkaufPreis;
  }
}

void DrawKnopfFeld(HandelsData* d, uint32_t button) {
  if (button < HK_GEBOT_MENGE_MINUS) DrawKaufFeld(d);
  else if (button < HK_VERKAUF_MENGE_MINUS) DrawGebotFelder(d);
  else DrawVerkaufsFelder(d);
}

}  // namespace

void HandelKnopf(HandelsData* d, uint32_t button) {
  if (!d || button >= HK_ANZAHL) return;
  // The areas: purchase 0..1, bid 2..5, sale 6..9.
  const uint32_t first = button < 2 ? 0 : button < 6 ? 2 : 6, last = button < 2 ? 1 : button < 6 ? 5 : 9;
  for (uint32_t b = first; b <= last; ++b)
    if (b != button) d->wiederholung[b] = 0;
  if (d->wiederholung[button] < 0xFFFF) ++d->wiederholung[button];
  d->ticks = 0;
  uint64_t lo, hi;
  uint32_t* feld = KnopfFeld(d, button, &lo, &hi);
  if (!feld) return;
  uint32_t steps[3];
  const uint32_t count = HandelSchritte(d->wiederholung[button], steps);
  uint64_t v = *feld;
  const bool plus = button % 2 == 1;
  if (plus && button == HK_VERKAUF_MENGE_PLUS) {
    for (uint32_t i = 0; i < count; ++i) v += steps[i];
    if (v > hi) v = hi;
  } else {
    for (uint32_t i = 0; i < count; ++i) {
      if (plus && v + steps[i] <= hi) v += steps[i];
      if (!plus && v >= steps[i] && v - steps[i] >= lo) v -= steps[i];
    }
  }
  *feld = (uint32_t)v;
  DrawKnopfFeld(d, button);
}

void HandelTick(HandelsData* d) {
  if (!d) return;
  if (d->ticks < 0xFFFF) ++d->ticks;
  if (d->ticks > 10) std::memset(d->wiederholung, 0, sizeof d->wiederholung);
}

void HandelEingabe(HandelsData* d, uint32_t box, int64_t value) {
  if (!d) return;
  const uint32_t v = value < 0 ? 0 : Limit32((uint64_t)value);
  switch (box) {
    case 1:
      if (d->kaufMenge != kNone) d->kaufMenge = v < d->kaufMax ? v : d->kaufMax;
      break;
    case 2:
      if (d->verkaufTyp >= 0) d->verkaufMenge = v < d->verkaufMax ? v : d->verkaufMax;
      break;
    case 3:
      if (d->verkaufTyp >= 0) d->verkaufPreis = v;
      break;
    case 4:
      if (d->angebotTyp >= 0) d->gebotMenge = v < d->angebotMenge ? v : d->angebotMenge;
      break;
    case 5:
      if (d->angebotTyp >= 0) d->gebotPreis = v > d->angebotPreis ? v : d->angebotPreis;
      break;
    default:
      break;
  }
}

// ---- the screen -----------------------------------------------------------------

namespace {

HandelsData* g_handel = nullptr;  // the visit's record (game thread)

// Taking a purchase line: its quantity and price read back from the lines.
void TakeKaufZeile(HandelsData* d, int32_t line) {
  if (line < 0 || (uint32_t)line >= d->kaufAnzahl || !d->kaufZeilen[1] || !d->kaufZeilen[2]) return;
  const uint32_t type = d->kaufTyp[line];
  d->kaufMenge = d->kaufMax = d->markt.menge[type];
  d->kaufPreis = d->markt.preis[type];
  DrawKaufFeld(d);
  ShowWarenBild(d, type);
}

bool Frage(const char* text) { return ChiefMessage(66, 168, 180, 0, 0, 0, 1, text, kBoxPen) == 0; }

void Kaufen(HandelsData* d) {
  if (!d->req[HANDEL_KAUF] || d->kaufAuswahl < 0 || d->kaufMenge == kNone || d->kaufMenge == 0) return;
  char text[400];
  std::snprintf(text, sizeof text, "%s %lu %s %s %s %lu %s %llu %s...", GetCatalogStr(679),
                (unsigned long)d->kaufMenge, GetCatalogStr(239), GetWarenName(d->kaufTyp[d->kaufAuswahl]),
                GetCatalogStr(680), (unsigned long)d->kaufPreis, GetCatalogStr(681),
                (unsigned long long)(uint64_t(d->kaufMenge) * d->kaufPreis), GetCatalogStr(682));
  if (!Frage(text)) return;
  const int32_t r = MakeNewWarenNode(d);
  if (r == HANDEL_ABGELEHNT) MoneyBox();
  else if (r == HANDEL_FEHLER) DebugLog("HandelsScreen : Konnte WareNode nicht anlegen\n");
}

// The choice of goods for a new sale: corn, then the store.
void ChooseBox(HandelsData* d) {
  if (d->verkaufAuswahl >= 0) return;
  const uint32_t lager = CountWarenNodes(d->warenListe, WARE_LAGER);
  char* lines = static_cast<char*>(AllocVec((lager + 1) * kRequesterLineSize, MEMF_PUBLIC | MEMF_CLEAR));
  if (!lines) {
    DebugLog("MakeChooseBox : Konnte Speicher 1 nicht allokieren...\n");
    return;
  }
  std::snprintf(lines, kRequesterLineSize, "%s", GetWarenName(0));
  for (uint32_t i = 0; i < lager; ++i)
    if (WarenListenEntry* n = FindWarenNode(d->warenListe, i, WARE_LAGER))
      std::snprintf(lines + (i + 1) * kRequesterLineSize, kRequesterLineSize, "%s", GetWarenName(n->goods));
  const int32_t r = InfoBox(".\\Data\\Screendat\\ChooseBox.dat", 264, 184, lager + 1, GetCatalogStr(678), lines,
                            GetCatalogStr(244));
  FreeVec(lines);
  if (r >= 0 && r != 65535) ChooseVerkaufsWare(d, (uint32_t)r);
}

void Scroll(HandelsData* d, uint32_t which, uint32_t step) {
  QoERequester* req = d->req[which];
  if (!req) return;
  if (which != HANDEL_EIGEN) ClearHandelsZeile(d, which);
  MoveSlider(req, step);
  ScrollRequester(req, 0, 0);
}

void Eingabe(HandelsData* d, ScreenRegion* region, Gadget* g, uint32_t box) {
  uint32_t* feld[6] = {nullptr, &d->kaufMenge, &d->verkaufMenge, &d->verkaufPreis, &d->gebotMenge, &d->gebotPreis};
  const bool inUse = box == 1 ? d->kaufMenge != kNone : box <= 3 ? d->verkaufTyp >= 0 : d->angebotTyp >= 0;
  if (!inUse || *feld[box] > 0x7FFFFFFFu) return;
  RastPort* rp = ScreenRastPort();
  TextFont* old = rp ? rp->Font : nullptr;
  if (rp) SetFont(rp, d->font9);
  HandelEingabe(d, box, TypedNumberEntry(region, g, (int32_t)*feld[box], 22, 7));
  if (rp && old) SetFont(rp, old);
  if (box == 1) DrawKaufFeld(d);
  else if (box <= 3) DrawVerkaufsFelder(d);
  else DrawGebotFelder(d);
}

// One gadget; the next screen code or -1 (stays).
int32_t HandleGadget(HandelsData* d, ScreenRegion* region, Gadget* g) {
  static const char* const kKnoepfe[HK_ANZAHL] = {"LE00", "RE00", "LE10", "RE10", "LE11",
                                                  "RE11", "LE20", "RE20", "LE21", "RE21"};
  for (uint32_t b = 0; b < HK_ANZAHL; ++b)
    if (GadgetIs(g, kKnoepfe[b])) {
      HandelKnopf(d, b);
      return -1;
    }
  static const char* const kBoxen[5] = {"BOX1", "BOX2", "BOX3", "BOX4", "BOX5"};
  for (uint32_t b = 0; b < 5; ++b)
    if (GadgetIs(g, kBoxen[b])) {
      Eingabe(d, region, g, b + 1);
      return -1;
    }
  const int32_t y = GetMouseY();
  if (GadgetIs(g, "SL00") || GadgetIs(g, "SL10") || GadgetIs(g, "SL20")) {
    Scroll(d, GadgetIs(g, "SL00") ? HANDEL_KAUF : GadgetIs(g, "SL10") ? HANDEL_FREMD : HANDEL_EIGEN, (uint32_t)y);
  } else if (GadgetIs(g, "UP00") || GadgetIs(g, "DO00")) {
    Scroll(d, HANDEL_KAUF, GadgetIs(g, "UP00") ? SLIDER_UP : SLIDER_DOWN);
  } else if (GadgetIs(g, "UP11") || GadgetIs(g, "DO11")) {
    Scroll(d, HANDEL_FREMD, GadgetIs(g, "UP11") ? SLIDER_UP : SLIDER_DOWN);
  } else if (GadgetIs(g, "UP20") || GadgetIs(g, "DO20")) {
    Scroll(d, HANDEL_EIGEN, GadgetIs(g, "UP20") ? SLIDER_UP : SLIDER_DOWN);
  } else if (GadgetIs(g, "CH00")) {
    if (d->req[HANDEL_KAUF]) TakeKaufZeile(d, SelectHandelsZeile(d, HANDEL_KAUF, y));
  } else if (GadgetIs(g, "CH10")) {
    const int32_t line = d->req[HANDEL_FREMD] ? SelectHandelsZeile(d, HANDEL_FREMD, y) : -1;
    // A line without its node is logged; the visit goes on.
    if (line >= 0 && !GetMarktNode(d, (uint32_t)line, 0)) DebugLog("HandelsScreen : Konnte Node zur Ware nicht ermitteln\n");
  } else if (GadgetIs(g, "CH20")) {
    QoERequester* req = d->req[HANDEL_EIGEN];
    if (req) {
      const uint32_t line = SelectRequesterEntry(req, 0, (uint32_t)y, kPenText, kPenBack);
      if (line != kNoEntry) {
        d->verkaufAuswahl = (int16_t)line;
        GetVerkaufsNode(d, line);
      }
    }
  } else if (d->lagerDefekt && (GadgetIs(g, "OK00") || GadgetIs(g, "OK01") || GadgetIs(g, "SX01") ||
                                 GadgetIs(g, "OK20") || GadgetIs(g, "SX20"))) {
    OkBox(GetCatalogStr(kLagerDefektOrder));
  } else if (GadgetIs(g, "OK00")) {
    Kaufen(d);
  } else if (GadgetIs(g, "OK01")) {
    if (d->angebotTyp >= 0 && SetAngebot2Node(d) == HANDEL_ABGELEHNT) MoneyBox();
  } else if (GadgetIs(g, "SX01")) {
    if (d->angebotAuswahl >= 0 && Frage(GetCatalogStr(1368))) {
      if (!GetMarktNode(d, (uint32_t)d->angebotAuswahl, 1)) DebugLog("HandelsScreen : Konnte Node zur Ware nicht ermitteln\n");
      else if (!CheckVerkaufsRequester(d)) DebugLog("HandelsScreen : Konnte Requester nicht anlegen !\n");
    }
  } else if (GadgetIs(g, "SX21")) {
    ChooseBox(d);
  } else if (GadgetIs(g, "OK20")) {
    if (MakeVerkauf(d) == HANDEL_REST) OkBox(GetCatalogStr(1415));
  } else if (GadgetIs(g, "SX20")) {
    if (DeleteWareFromList(d) == HANDEL_REST) OkBox(GetCatalogStr(1415));
  } else if (GadgetIs(g, "SX00")) {
    d->kaufMenge = d->kaufMax = 0;
    DrawKaufFeld(d);
  } else if (GadgetIs(g, "IN00")) {
    if (d->movieBase && d->movie) SetMovieMode(d->movie, 1);
    TextBox(GetCatalogStr(1212));
    if (d->movieBase && d->movie) SetMovieMode(d->movie, 0);
  } else if (GadgetIs(g, "OKOK")) {
    if (!WriteHandelsScreenData(d)) {
      DebugLog("HandelsScreen : Es ist ein Fehler beim abspeichern der Daten aufgetreten...\n");
      OkBox(GetCatalogStr(kHandelWriteFailed));
      return -1;
    }
    return kNextScreen;
  } else if (GadgetIs(g, "EXIT")) {
    return kNextScreen;
  }
  return -1;
}

}  // namespace

namespace {

// The player's word on a damaged market stock: the file, and which goods are
// not offered (their names when few, else their number).
void TellDamagedStock(ScreenBase* base, const HandelsData* d) {
  std::string names;
  uint32_t n = 0;
  for (uint32_t g = 0; g < WAREN_ANZAHL; ++g) {
    if (!d->marktDefekt[g]) continue;
    if (n++) names += ", ";
    names += GetWarenName(g);
  }
  const bool few = n <= kDefektNamen;
  if (!few) names = std::to_string(n);
  const std::string frame = GetCatalogStr(few ? kDefektWarenText : kDefektAnzahlText);
  const size_t at = frame.find("%s");
  const std::string detail = at == std::string::npos ? frame : frame.substr(0, at) + names + frame.substr(at + 2);
  ScreenTellDamagedFileText(base, kWarenDat, detail.c_str());
}

}  // namespace

int32_t HandelsScreen(int32_t) {
  PlayScreenCdTrack(kCdTrack);
  ScreenBase base{};
  if (!OpenScreenPicture(&base, kPicture, 1)) {
    ScreenStartFailed(&base, SCREEN_STEP_PICTURE, "HandelsScreen: Konnte Pic nicht laden!\n");
    return -1;
  }
  IRCPanelControl(2);
  HandelsData* d = NewHandelsData();
  bool sfx = false;
  auto leave = [&](int32_t next) {
    if (sfx) {
      StopSfx(kFirstSfx);
      CloseHandelScreenSfx();
    }
    g_handel = nullptr;
    FreeHandelsData(d);
    CloseScreenBase(&base, next);
    IRCPanelControl(1);
    return next;
  };
  auto fail = [&](uint32_t step, const char* line) {
    ScreenStartFailed(&base, step, line);
    return leave(-1);
  };
  if (!d) return fail(SCREEN_STEP_MEMORY, "HandelsScreen: Konnte Speicher f\xFCr lokale Struktur nicht allokieren!\n");
  g_handel = d;
  if (!ReadHandelsScreenData(d)) return fail(SCREEN_STEP_DATA, "HandelsScreen: Kann lokale Daten nicht initialisieren !\n");
  // The screen's own font on its RastPort: CloseScreenBase gives the old one
  // back, so no font of the record stays set after the record is freed.
  if (!OpenScreenFont(&base, "fonts\\XHelvetica11.fnt"))
    return fail(SCREEN_STEP_FONT, "InitAllThingsHandel: Konnte Elmor-Font nicht \xF6" "ffnen !\n");
  sfx = LoadHandelScreenSfx() == 1;
  if (!sfx) return fail(SCREEN_STEP_SOUNDS, "HandelsScreen: Kann Audio-Daten nicht laden !\n");
  if (!InitAllThingsHandel(d)) return fail(SCREEN_STEP_GRAPHICS, "HandelsScreen: Kann den Screen nicht initialisieren !\n");
  if (!OpenScreenLayout(&base, ".\\Data\\Screendat\\Handel.dat", kLayoutMask))
    return fail(SCREEN_STEP_LAYOUT, "HandelsScreen: Konnte Koordinaten nicht nachladen!\n");
  if (!InitHandelsWarenRequester(d)) return fail(SCREEN_STEP_GRAPHICS, "HandelScreen: Konnte Requester 1 nicht \xF6" "ffnen !\n");
  if (!CheckVerkaufsRequester(d)) return fail(SCREEN_STEP_GRAPHICS, "HandelScreen: Konnte Requester 2 nicht \xF6" "ffnen !\n");
  if (!CheckVerkaufsRequester3(d)) return fail(SCREEN_STEP_GRAPHICS, "HandelScreen: Konnte Requester 3 nicht \xF6" "ffnen !\n");
  ShowScreenBase(&base);
  SfxPlayer000(kFirstSfx, 0, 1);
  if (d->marktDefektAnzahl) TellDamagedStock(&base, d);
  if (d->lagerDefekt) ScreenTellDamagedFile(&base, kWarenChunk, kLagerDefektText);
  AmbientCounter ambient{};
  InitAmbientCounter(&ambient, 100, 20);
  int32_t next = -1;
  do {
    int32_t event = 0;
    Gadget* g = ScreenBaseEvent(&base, kTitlePen, &event);
    if (event == WE_TICK) {
      HandelTick(d);
      if (AmbientCounterTick(&ambient)) SfxPlayer000(40 + Zufall(4), 0, 0);
    }
    if (g) {
      SetFont(ScreenRastPort(), base.font);
      next = HandleGadget(d, base.region, g);
    }
  } while (ScreenBaseStays(&next, kNextScreen));
  return leave(next);
}
