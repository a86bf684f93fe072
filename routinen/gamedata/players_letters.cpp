// Player names (ANTW lists, the ANFR request) and letters (SMAL files).
#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "chunks.h"
#include "chunks_internal.h"
#include "entities.h"
#include "entity_internal.h"
#include "platform/log.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/catalog.h"
#include "routinen/system/files.h"
#include "routinen/system/memory.h"

namespace {

const char* const kPlayerList = ".\\Data\\SpielerList.qoe";
const char* const kPoolIn = ".\\Data\\POP3In\\GameChunk.qoe";
const char* const kPoolOut = ".\\Data\\POP3Out\\GameChunk.qoe";
const uint32_t kUnknownText = 653;  // "unknown"
const ChunkLayout& kAnfr = ChunkLayouts[CHUNK_ANFR];

void CopyText(char* dst, const char* src, size_t size) {
  std::memset(dst, 0, size);
  if (src) std::memcpy(dst, src, strnlen(src, size - 1));
}

// Looks the ID up in the ANTW chunk of one file.
int32_t NameFromFile(uint32_t id, char* buffer, const char* path) {
  uint8_t* antw = LoadChunk2Mem("ANTW", path);
  if (!antw) return 0;
  int32_t found = 0;
  ListHeader* players = CreateList(LIST_PLAYERS);
  if (players && ScanSpieler2List(players, antw)) found = FindPlayerNameInList(id, buffer, players);
  DeleteList(players, 0);
  FreeChunk(antw);
  return found;
}

// Adds the ID to the ANFR chunk of the outgoing pool unless it is there.
void AskForName(uint32_t id) {
  // The requests so far; when they cannot be read they are not replaced by
  // this one alone.
  uint8_t* anfr = nullptr;
  const int32_t state = LoadChunkState("ANFR", kPoolOut, &anfr);
  if (state == CHUNK_DAMAGED || (!anfr && IsChunkInFile(ChunkBit(CHUNK_ANFR), kPoolOut))) {
    DebugLog("GetPlayerName: Anfragen in %s sind beschaedigt\n", kPoolOut);
    return;
  }
  uint32_t n = 0;
  const uint8_t* r = anfr ? ChunkRecords(anfr, kAnfr, &n) : nullptr;
  for (uint32_t i = 0; r && i < n; i++)
    if (ChunkGet32(r, 4 * i) == id) { FreeChunk(anfr); return; }
  uint8_t* grown = MakeRecordChunk(kAnfr, n + 1);
  if (grown) {
    if (n) std::memcpy(grown + 16, r, 4 * n);
    ChunkPut32(grown, 16 + 4 * n, id);
    if (!AddChunkPool(grown, kPoolOut)) DebugLog("GetPlayerName: Konnte Anfrage nicht speichern\n");
    FreeChunk(grown);
  }
  FreeChunk(anfr);
}

bool MaskMatches(const char* name, const char* mask) {
  size_t n = std::strlen(name), m = std::strlen(mask);
  if (n != m) return false;
  for (size_t i = 0; i < n; i++)
    if (mask[i] != ' ' && std::tolower((unsigned char)mask[i]) != std::tolower((unsigned char)name[i]))
      return false;
  return true;
}

// First free "<folder>\E%7.7x_%2.2u.smal"; a letter to all lords
// (0xFFFFFFFF) takes the stem "fffffff". False when the ID or the number does
// not fit the name.
bool LetterPath(const char* folder, uint32_t id, char* out, size_t size) {
  if (id > 0x0FFFFFFF && id != 0xFFFFFFFF) {
    DebugLog("CreateSmalMail: ID %x passt nicht in den Dateinamen\n", id);
    return false;
  }
  const uint32_t stem = id == 0xFFFFFFFF ? 0x0FFFFFFF : id;
  for (unsigned k = 0; k < 100; k++) {
    std::snprintf(out, size, "%s\\E%7.7x_%2.2u.smal", folder, stem, k);
    if (GeFileSize(out) == 0) return true;
  }
  DebugLog("CreateSmalMail: Zu viele Briefe an %x\n", id);
  return false;
}

}  // namespace

int32_t FindPlayerNameInList(uint32_t id, char* buffer, ListHeader* players) {
  if (!players || !buffer) return 0;
  ListNode* n = players->first;
  for (uint32_t i = 0; i < players->count && n; i++, n = n->next) {
    const SpielerEintrag* s = reinterpret_cast<const SpielerEintrag*>(n);
    if (s->id == id) {
      CopyText(buffer, s->name, 40);
      return 1;
    }
  }
  return 0;
}

int32_t GetPlayerName(uint32_t id, char* buffer, uint32_t ask) {
  if (!buffer) return 0;
  RegisterGameDataListTypes();
  char name[80];
  int32_t found = NameFromFile(id, name, kPlayerList) || NameFromFile(id, name, kPoolIn);
  int32_t sid = (int32_t)id;
  if (!found && ask && !(sid >= -10 && sid <= -1)) AskForName(id);
  CopyText(buffer, found ? name : GetCatalogStr(kUnknownText), 40);
  return found;
}

int32_t CreateSmalMail(const char* recipient, uint32_t recipient_id, const char* subject, const char* text) {
  if (!text) text = "";
  uint32_t own = GameDataOwnerID();
  char out_path[96], in_path[96];
  CreateDir(".\\Data");
  CreateDir(".\\Data\\MailOut");
  CreateDir(".\\Data\\MailIn");
  if (!LetterPath(".\\Data\\MailOut", recipient_id, out_path, sizeof out_path) ||
      !LetterPath(".\\Data\\MailIn", own, in_path, sizeof in_path))
    return 0;
  size_t tl = std::strlen(text) + 1;
  if (tl > 0x100000) tl = 0x100000;
  uint8_t* c = AllocChunk("SMAL", "V001", (uint32_t)(SMAL_TEXT - 12 + tl));
  if (!c) return 0;
  CopyText(reinterpret_cast<char*>(c + SMAL_SENDER_NAME), GameDataOwnerName(), 40);
  CopyText(reinterpret_cast<char*>(c + SMAL_RECIPIENT_NAME), recipient, 40);
  CopyText(reinterpret_cast<char*>(c + SMAL_SUBJECT), subject, 160);
  time_t now = std::time(nullptr);
  struct tm t;
  localtime_r(&now, &t);
  char date[64];
  std::snprintf(date, sizeof date, "%02d.%02d.%04d %02d:%02d:%02d", t.tm_mday, t.tm_mon + 1,
                t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
  CopyText(reinterpret_cast<char*>(c + SMAL_DATE_TEXT), date, 24);
  ChunkPut32(c, SMAL_SENDER_ID, own);
  ChunkPut32(c, SMAL_RECIPIENT_ID, recipient_id);
  ChunkPut32(c, SMAL_DATE, (uint32_t)now);
  ChunkPut32(c, SMAL_TEXT_LEN, (uint32_t)tl);
  std::memcpy(c + SMAL_TEXT, text, tl - 1);
  // The outgoing letter and the own copy: both or neither.
  const uint32_t size = (uint32_t)(SMAL_TEXT + tl);
  uint8_t* disk = static_cast<uint8_t*>(AllocVec(size, MEMF_PUBLIC));
  int32_t ok = disk != nullptr;
  if (ok) {
    std::memcpy(disk, c, size);
    ok = SwapByteOrderInChunk(disk, size, 0);
  }
  FileSet* set = ok ? BeginFileSet() : nullptr;
  ok = set && FileSetWrite(set, out_path, disk, size) && FileSetWrite(set, in_path, disk, size);
  if (set) ok = CommitFileSet(set) && ok;
  if (!ok) DebugLog("CreateSmalMail: Konnte Brief nicht speichern\n");
  FreeVec(disk);
  FreeChunk(c);
  return ok;
}

uint32_t ScanSmals2List(ListHeader* list, const char* folder, const char* mask, uint32_t only_own) {
  if (!list || list->type != LIST_LETTERS || !folder || !mask) return 0;
  uint16_t count = CountDirEntries(folder);
  if (!count) return 0;
  char* names = GetDirBuffer(folder, count);
  if (!names) return 0;
  uint32_t added = 0;
  for (uint32_t i = 0; i < count; i++) {
    const char* name = names + 80 * i;
    if (!MaskMatches(name, mask)) continue;
    std::string path = std::string(folder) + "\\" + name;
    uint8_t* c = LoadChunk2Mem("SMAL", path.c_str());
    if (!c) continue;
    uint32_t recipient = ChunkGet32(c, SMAL_RECIPIENT_ID);
    if (only_own && recipient != GameDataOwnerID()) { FreeChunk(c); continue; }
    SmalListEntry* e = reinterpret_cast<SmalListEntry*>(AllocListNode(list));
    uint32_t tl = ChunkGet32(c, SMAL_TEXT_LEN);
    char* text = e ? static_cast<char*>(AllocVec(tl + 1, MEMF_PUBLIC | MEMF_CLEAR)) : nullptr;
    if (!text) {
      FreeVec(e);
      FreeChunk(c);
      break;
    }
    std::memcpy(text, c + SMAL_TEXT, tl);
    e->date = ChunkGet32(c, SMAL_DATE);
    CopyText(e->date_text, reinterpret_cast<char*>(c + SMAL_DATE_TEXT), sizeof e->date_text);
    CopyText(e->subject, reinterpret_cast<char*>(c + SMAL_SUBJECT), sizeof e->subject);
    CopyText(e->sender, reinterpret_cast<char*>(c + SMAL_SENDER_NAME), sizeof e->sender);
    CopyText(e->recipient, reinterpret_cast<char*>(c + SMAL_RECIPIENT_NAME), sizeof e->recipient);
    char line[256];
    std::snprintf(line, sizeof line, "%-10s : %s", e->sender, e->subject);
    CopyText(e->line, line, sizeof e->line);
    CopyText(e->path, path.c_str(), sizeof e->path);
    e->sender_id = ChunkGet32(c, SMAL_SENDER_ID);
    e->recipient_id = recipient;
    e->text = text;
    AddNode(list, &e->head, LN_TAIL, 0);
    added++;
    FreeChunk(c);
  }
  FreeVec(names);
  return added;
}
