// Building and goods animations (movies chosen by the thing's ID, played at a
// fixed place) and the masked drawing of one frame of an animated map object.
#include <cstdio>

#include "movie_internal.h"
#include "platform/display.h"
#include "platform/log.h"
#include "platform/threads.h"
#include "routinen/gui/pictures.h"
#include "routinen/system/files.h"
#include "routinen/system/graphics.h"
#include "routinen/system/sysrecords.h"

namespace {

struct BuildingAnim {
  uint16_t id;
  const char* file;
};

// Searched in row order for the first row with the ID.
const BuildingAnim kBuildingAnimTable[38] = {
    {0, "Lager.CBAN"},          {1, "Muehle.CBAN"},       {2, "Bank.CBAN"},          {14, "Herberge.CBAN"},
    {15, "Buergerhaus.CBAN"},   {16, "Handelsregister.CBAN"}, {17, "Schule.CBAN"},   {19, "Camp.CBAN"},
    {20, "Schmiede.CBAN"},      {21, "Friedhof.CBAN"},    {22, "Lazarett.CBAN"},     {23, "Kapelle.CBAN"},
    {24, "Schrein.CBAN"},       {25, "Marktplatz.CBAN"},  {26, "Saegewerk.CBAN"},    {27, "Stallungen.CBAN"},
    {47, "Heiler.CBAN"},        {48, "Baracke.CBAN"},     {49, "Markthalle.CBAN"},   {50, "Bibliothek.CBAN"},
    {51, "Hafen.CBAN"},         {55, "Rathaus.CBAN"},     {56, "Akademie.CBAN"},     {57, "Apellhof.CBAN"},
    {78, "Charitee.CBAN"},      {91, "Gerichtshof.CBAN"}, {95, "Kerker.CBAN"},       {96, "Kirche.CBAN"},
    {98, "Kontor.CBAN"},        {108, "Residenz.CBAN"},   {115, "Universitaet.CBAN"}, {139, "Burg.CBAN"},
    {158, "Handelshof.CBAN"},   {160, "Hospital.CBAN"},   {162, "Kaserne.CBAN"},     {163, "Dom.CBAN"},
    {195, "Circus.CBAN"},       {231, "Festung.CBAN"},
};

// Indexed by goods type 0..115; names in Latin-1.
const char* const kGoodsAnimTable[116] = {
    "Korn.CBAN", "Luxus\\Tiere.CBAN", "Luxus\\Pflanzen.CBAN", "Luxus\\Mineralien.CBAN",
    "Nichts.CBAN", "Nichts.CBAN", "Nichts.CBAN", "Ballista_klein.CBAN",
    "Ballista_gro\xDF.CBAN", "Katapult.CBAN", "Helm.CBAN", "Lederruestung.CBAN",
    "Lederwams.CBAN", "Kettenhemd.CBAN", "Kettenpanzer.CBAN", "Schuppenpanzer.CBAN",
    "Plattenpanzer.CBAN", "Tarke.CBAN", "Holzschild.CBAN", "Kampfschild.CBAN",
    "Kriegsschild.CBAN", "Dolch.CBAN", "Handaxt.CBAN", "Kurzschwert.CBAN",
    "Breitschwert.CBAN", "Bastardschwert.CBAN", "Langschwert.CBAN", "Claymore.CBAN",
    "Kriegsaxt.CBAN", "Kriegshammer.CBAN", "Morgenstern_klein.CBAN", "Morgenstern_gro\xDF.CBAN",
    "Saebel.CBAN", "Streitaxt.CBAN", "Streithammer.CBAN", "Streitkolben.CBAN",
    "Hellebarde.CBAN", "Lanze_klein.CBAN", "Lanze_mittel.CBAN", "Lanze_gro\xDF.CBAN",
    "Kriegssense.CBAN", "Speer.CBAN", "Armbrust_leicht.CBAN", "Armbrust_schwer.CBAN",
    "Kurzbogen.CBAN", "Langbogen.CBAN", "Kompositbogen.CBAN", "Wurfschleuder.CBAN",
    "Wurfdolch.CBAN", "Wurfspeer.CBAN", "Handelsschiff_klein.CBAN", "Handelsschiff_mittel.CBAN",
    "Handelsschiff_gro\xDF.CBAN", "Kriegsschiff_klein.CBAN", "Kriegsschiff_mittel.CBAN", "Kriegsschiff_gro\xDF.CBAN",
    "Kraut01.CBAN", "Kraut02.CBAN", "Kraut03.CBAN", "Kraut04.CBAN",
    "Kraut05.CBAN", "Kraut06.CBAN", "Kraut07.CBAN", "Kraut08.CBAN",
    "Kraut09.CBAN", "Kraut10.CBAN", "Kraut11.CBAN", "Kraut12.CBAN",
    "Kraut13.CBAN", "Kraut14.CBAN", "Kraut15.CBAN", "Kraut16.CBAN",
    "Kraut17.CBAN", "Kraut18.CBAN", "Armeeschwert.CBAN", "Nordschwert.CBAN",
    "Barbarenschwert.CBAN", "Zweihaender.CBAN", "Dreizack.CBAN", "Ro\xDFschinder.CBAN",
    "Ringpanzer.CBAN", "Kriegskatapult.CBAN", "Luxus\\Balsam.CBAN", "Luxus\\Bernstein.CBAN",
    "Luxus\\Brokat.CBAN", "Luxus\\Edelsteine.CBAN", "Luxus\\Elfenbein.CBAN", "Luxus\\Gewuerze.CBAN",
    "Luxus\\Marmor.CBAN", "Luxus\\Myrrhe.CBAN", "Luxus\\Oel.CBAN", "Luxus\\Pergament.CBAN",
    "Luxus\\Pelze.CBAN", "Luxus\\Schmuck.CBAN", "Luxus\\Seide.CBAN", "Luxus\\Teppiche.CBAN",
    "Luxus\\Weihrauch.CBAN", "Luxus\\Zucker.CBAN", "Luxus\\Pflanzen.CBAN", "Luxus\\Mineralien.CBAN",
    "Gundhalm.CBAN", "Velgrin.CBAN", "Drachenaxt.CBAN", "Elfenhelm.CBAN",
    "Elfenschild.CBAN", "Elfenschwert.CBAN", "Froschhelm.CBAN", "Gotteshand.CBAN",
    "Kriegshelm.CBAN", "Ritterhelm.CBAN", "Ritterruestung.CBAN", "Torvikshelm.CBAN",
    "Turnierhelm.CBAN", "Zwergenhelm.CBAN", "Zwergenpanzer.CBAN", "Zwergenschwert.CBAN",
};

// Clears the previous animation's area of the screen and shows it.
void ClearArea(uint16_t x, uint16_t y, int32_t width, int32_t height) {
  RastPort* rp = QoESystemPtr->Display ? QoESystemPtr->Display->ScreenRastPort : nullptr;
  if (!rp) return;
  QoeMutex* m = DisplayMutex();
  ObtainMutex(m);
  SetAPen(rp, 0);
  RectFill(rp, x, y, x + width - 1, y + height - 1);
  ReleaseMutex(m);
  ShowScreenRect(rp, x, y, width, height);
}

// Loads ".\Anims\<file>" and starts it looping with its colours at (x, y).
Movie* PlayAnim(MovieBase* base, const char* file, uint16_t x, uint16_t y, uint16_t fps) {
  char path[128];
  std::snprintf(path, sizeof path, ".\\Anims\\%s", file);
  DebugLog("AnimateWare : Zu ladene Anim ist %s\n", path);
  LockHandle lock = Lock(path, 2);
  if (!lock) return nullptr;
  UnLock(lock);
  Movie* m = LoadMovie(base, path, 0, 0);
  if (!m) {
    DebugLog("AnimateWare: Konnte Anim nicht laden !\n");
    return nullptr;
  }
  StartMovie(base, m, x, y, SMF_SCRAMBLED | SMF_LOOP | SMF_PALETTE, fps);
  return m;
}

}  // namespace

Movie* AnimateGebaeude(MovieBase* base, Movie* previous, uint16_t building_id, uint16_t x, uint16_t y) {
  DebugLog("AnimateWare : Die ID dieses Geb\xE4udes ist %u\n", building_id);
  if (previous) {
    StopMovie(base, previous);
    ClearArea(x, y, 220, 200);
  }
  for (const BuildingAnim& row : kBuildingAnimTable)
    if (row.id == building_id) return PlayAnim(base, row.file, x, y, 8);
  return nullptr;
}

Movie* AnimateWare(MovieBase* base, Movie* previous, uint16_t goods_id, uint16_t x, uint16_t y) {
  DebugLog("AnimateWare : Die ID dieser Waffe ist %u\n", goods_id);
  if (previous) {
    StopMovie(base, previous);
    ClearArea(x, y, 160, 120);
  }
  if (goods_id >= sizeof kGoodsAnimTable / sizeof kGoodsAnimTable[0]) return nullptr;
  return PlayAnim(base, kGoodsAnimTable[goods_id], x, y, 10);
}

int32_t AnimObjektMask(RastPort* source, uint16_t sx, uint16_t sy, RastPort* target, uint16_t x, uint16_t y,
                       uint16_t id, uint32_t, uint16_t frame, uint16_t width, uint16_t height) {
  // The strip holds its frames one below the other; the row is this call's own.
  const uint32_t row = (uint32_t)frame * height;
  // The call holds the strip open (loading it when no one has it): the
  // motion thread and the game thread may draw it, and other threads open and
  // close it, at the same time.
  const BitMap* bm = UseElmorGfx(".\\Data\\Path", id);
  if (!bm) {
    DebugLog("AnimObjektMask: Konnte Grafik nicht \xF6" "ffnen !\n");
    return 0;
  }
  if (!target) target = ScreenRastPort();
  if (!source) source = target;
  const uint32_t w = width ? width : (bm ? bm->Width : 0);
  const uint32_t h = height ? height : (bm ? bm->Height : 0);
  if (target && source != target && source->Bitmap) {
    QoeMutex* m = DisplayMutex();
    ObtainMutex(m);
    BltBitMapRastPort(source->Bitmap, sx, sy, target, x, y, (int32_t)w, (int32_t)h, 0xC0);
    ReleaseMutex(m);
  }
  if (target) BlitObjektMaskRow(target, id, x, y, w, h, row);
  CloseElmorGfx(id);
  return 1;
}

const char* BuildingAnimFile(uint16_t building_id) {
  for (const BuildingAnim& row : kBuildingAnimTable)
    if (row.id == building_id) return row.file;
  return nullptr;
}

const char* GoodsAnimFile(uint16_t goods_id) {
  return goods_id < sizeof kGoodsAnimTable / sizeof kGoodsAnimTable[0] ? kGoodsAnimTable[goods_id] : nullptr;
}
