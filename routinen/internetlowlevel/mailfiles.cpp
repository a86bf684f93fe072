// Mail names, mail dates and the mail files of a download folder
// (docs/mailnames.md).
#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/log.h"
#include "mail.h"
#include "mail_internal.h"
#include "routinen/system/files.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"

const char* const kMailSubjectPrefix = "Quill of Elmor ";

namespace {

const char kExt[] = ".email";
constexpr size_t kExtLen = sizeof kExt - 1;

bool EqualNoCase(const char* a, const char* b, size_t n) {
  for (size_t i = 0; i < n; i++)
    if (std::tolower((unsigned char)a[i]) != std::tolower((unsigned char)b[i])) return false;
  return true;
}

// Pattern length without a trailing ".email".
size_t PatternLength(const char* pattern) {
  size_t n = std::strlen(pattern);
  if (n >= kExtLen && EqualNoCase(pattern + n - kExtLen, kExt, kExtLen)) n -= kExtLen;
  return n;
}

bool NameMatches(const char* name, size_t name_len, const char* pattern, size_t plen) {
  if (name_len != plen || plen == 0) return false;
  for (size_t i = 0; i < plen; i++)
    if (pattern[i] != ' ' && pattern[i] != name[i]) return false;
  return true;
}

bool DiskExists(const char* path) {
  char disk[1024];
  if (!ResolvePath(path, disk, sizeof disk)) return false;
  struct stat st;
  return ::stat(disk, &st) == 0;
}

const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kDays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

// Reads an unsigned number of up to max digits; false when there is none.
bool Number(const char*& p, const char* end, int max, int* out) {
  int v = 0, n = 0;
  while (p < end && n < max && *p >= '0' && *p <= '9') v = v * 10 + (*p++ - '0'), n++;
  if (n == 0) return false;
  *out = v;
  return true;
}
void Blanks(const char*& p, const char* end) {
  while (p < end && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')) p++;
}

// A header's display name in 7 bits: Latin-1 text becomes an encoded word.
void AppendDisplayName(MailText* t, const char* name) {
  bool plain = true;
  for (const char* p = name; *p; p++)
    if ((unsigned char)*p >= 128 || *p == '"' || *p == '\\' || (unsigned char)*p < 32) plain = false;
  if (plain) {
    MailTextAppend(t, "\"");
    MailTextAppend(t, name);
    MailTextAppend(t, "\"");
    return;
  }
  MailTextAppend(t, "=?ISO-8859-1?Q?");
  for (const unsigned char* p = (const unsigned char*)name; *p; p++) {
    char buf[4];
    if (*p == ' ') std::snprintf(buf, sizeof buf, "_");
    else if (std::isalnum(*p) && *p < 128) std::snprintf(buf, sizeof buf, "%c", *p);
    else std::snprintf(buf, sizeof buf, "=%02X", *p);
    MailTextAppend(t, buf);
  }
  MailTextAppend(t, "?=");
}

}  // namespace

// ---- Growing text blocks ------------------------------------------------------

bool MailTextReserve(MailText* t, size_t more) {
  if (!t->ok) return false;
  if (t->len + more + 1 <= t->cap) return true;
  size_t cap = t->cap ? t->cap : 256;
  while (cap < t->len + more + 1) cap *= 2;
  if (cap > 0xFFFFFFF0u) { t->ok = false; return false; }
  char* n = static_cast<char*>(AllocVec((uint32_t)cap, MEMF_PUBLIC));
  if (!n) { t->ok = false; return false; }
  if (t->data) std::memcpy(n, t->data, t->len);
  FreeVec(t->data);
  t->data = n;
  t->cap = cap;
  t->data[t->len] = 0;
  return true;
}
void MailTextAppendN(MailText* t, const char* s, size_t n) {
  if (!MailTextReserve(t, n)) return;
  std::memcpy(t->data + t->len, s, n);
  t->len += n;
  t->data[t->len] = 0;
}
void MailTextAppend(MailText* t, const char* s) { MailTextAppendN(t, s, std::strlen(s)); }
void MailTextFree(MailText* t) {
  FreeVec(t->data);
  *t = MailText{};
}

// ---- Names -----------------------------------------------------------------------

void TurnMailName(uint32_t player_id, char out[MAIL_NAME_SIZE]) {
  std::snprintf(out, MAIL_NAME_SIZE, "%8.8u", player_id);
}
void SignupMailName(uint32_t number, char out[MAIL_NAME_SIZE]) {
  std::snprintf(out, MAIL_NAME_SIZE, "I%7.7u", number % 10000000u);
}

int32_t MailNameFromSubject(const char* subject, size_t length, char out[MAIL_NAME_SIZE]) {
  out[0] = 0;
  if (!subject) return 0;
  size_t end = length;
  while (end > 0 && std::isspace((unsigned char)subject[end - 1])) end--;
  size_t start = end;
  while (start > 0 && !std::isspace((unsigned char)subject[start - 1])) start--;
  size_t n = end - start;
  if (n == 0 || n >= MAIL_NAME_SIZE) return 0;
  std::memcpy(out, subject + start, n);
  out[n] = 0;
  return 1;
}

int32_t MailNameMatches(const char* name, const char* pattern) {
  if (!name || !pattern) return 0;
  return NameMatches(name, std::strlen(name), pattern, PatternLength(pattern)) ? 1 : 0;
}

int32_t MailFileMatches(const char* file_name, const char* pattern) {
  if (!file_name || !pattern) return 0;
  size_t n = std::strlen(file_name);
  if (n <= kExtLen || !EqualNoCase(file_name + n - kExtLen, kExt, kExtLen)) return 0;
  size_t stem = n - kExtLen;
  size_t plen = PatternLength(pattern);
  if (stem < plen) return 0;
  if (stem > plen) {  // "<name>_<n>"
    if (file_name[plen] != '_' || stem == plen + 1) return 0;
    for (size_t i = plen + 1; i < stem; i++)
      if (file_name[i] < '0' || file_name[i] > '9') return 0;
  }
  return NameMatches(file_name, plen, pattern, plen) ? 1 : 0;
}

int32_t MakeMailFileName(const char* folder, const char* name, char* out, size_t out_size) {
  if (!folder || !name || !out || out_size == 0) return 0;
  size_t fl = std::strlen(folder);
  const char* sep = fl && (folder[fl - 1] == '\\' || folder[fl - 1] == '/') ? "" : "\\";
  for (uint32_t k = 1; k < 10000; k++) {
    int n = k == 1 ? std::snprintf(out, out_size, "%s%s%s.email", folder, sep, name)
                   : std::snprintf(out, out_size, "%s%s%s_%u.email", folder, sep, name, k);
    if (n < 0 || (size_t)n >= out_size) return 0;
    if (!DiskExists(out)) return 1;
  }
  return 0;
}

// ---- Dates ------------------------------------------------------------------------

uint64_t MailDateScale(int year, int month0, int day, int hour, int minute, int second) {
  int64_t v = (int64_t)(year - 1900) * 32140800 + (int64_t)month0 * 2678400 + (int64_t)day * 86400 +
              (int64_t)hour * 3600 + (int64_t)minute * 60 + second;
  return v < 0 ? 0 : (uint64_t)v;
}

uint64_t MailDateNow() {
  time_t now = time(nullptr);
  struct tm tm;
  gmtime_r(&now, &tm);
  return MailDateScale(tm.tm_year + 1900, tm.tm_mon, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

int32_t MailDateBefore(uint64_t date, uint32_t stored) {
  return (int32_t)((uint32_t)date - stored) < 0 ? 1 : 0;
}

int32_t ParseMailDate(const char* text, size_t length, uint64_t* date) {
  if (!text || !date) return 0;
  const char* p = text;
  const char* end = text + length;
  Blanks(p, end);
  // Optional day name and comma.
  if (end - p >= 4 && std::isalpha((unsigned char)p[0]) && p[3] == ',') p += 4;
  Blanks(p, end);
  int day, year, hour, minute, second = 0;
  if (!Number(p, end, 2, &day) || day < 1 || day > 31) return 0;
  Blanks(p, end);
  if (end - p < 3) return 0;
  int month = -1;
  for (int m = 0; m < 12; m++)
    if (EqualNoCase(p, kMonths[m], 3)) month = m;
  if (month < 0) return 0;
  p += 3;
  Blanks(p, end);
  const char* ys = p;
  if (!Number(p, end, 4, &year)) return 0;
  if (p - ys == 2) year += year < 50 ? 2000 : 1900;
  else if (p - ys == 3) year += 1900;
  if (year < 1900 || year > 9999) return 0;
  Blanks(p, end);
  if (!Number(p, end, 2, &hour) || hour > 23 || p >= end || *p++ != ':') return 0;
  if (!Number(p, end, 2, &minute) || minute > 59) return 0;
  if (p < end && *p == ':') {
    p++;
    if (!Number(p, end, 2, &second) || second > 60) return 0;
  }
  Blanks(p, end);
  int offset = 0;  // minutes east of UTC; a zone name other than the numeric form counts as UTC
  if (p < end && (*p == '+' || *p == '-')) {
    int sign = *p++ == '-' ? -1 : 1;
    const char* zs = p;
    int z;
    if (!Number(p, end, 4, &z) || p - zs != 4 || z % 100 > 59) return 0;
    offset = sign * (z / 100 * 60 + z % 100);
  }
  struct tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  time_t t = timegm(&tm) - (time_t)offset * 60;
  struct tm u;
  if (!gmtime_r(&t, &u)) return 0;
  *date = MailDateScale(u.tm_year + 1900, u.tm_mon, u.tm_mday, u.tm_hour, u.tm_min, u.tm_sec);
  return 1;
}

void FormatMailDate(char* out, size_t size) {
  time_t now = time(nullptr);
  struct tm u;
  gmtime_r(&now, &u);
  std::snprintf(out, size, "%s, %02d %s %04d %02d:%02d:%02d +0000", kDays[u.tm_wday % 7], u.tm_mday,
                kMonths[u.tm_mon % 12], u.tm_year + 1900, u.tm_hour, u.tm_min, u.tm_sec);
}

// ---- Headers --------------------------------------------------------------------------

size_t MailHeaderValue(const char* text, size_t size, const char* name, char* out, size_t out_size) {
  if (out_size) out[0] = 0;
  if (!text || !out || out_size == 0) return 0;
  size_t nl = std::strlen(name);
  const char* p = text;
  const char* end = text + size;
  while (p < end) {
    const char* eol = static_cast<const char*>(std::memchr(p, '\n', (size_t)(end - p)));
    const char* le = eol ? eol : end;
    size_t ll = (size_t)(le - p);
    if (ll && p[ll - 1] == '\r') ll--;
    if (ll == 0) return 0;  // end of the headers
    if (ll > nl && p[nl] == ':' && EqualNoCase(p, name, nl)) {
      size_t n = 0;
      const char* v = p + nl + 1;
      const char* ve = p + ll;
      for (;;) {
        for (; v < ve && n + 1 < out_size; v++) out[n++] = (*v == '\t') ? ' ' : *v;
        // Folded continuation lines begin with a blank.
        if (!eol || eol + 1 >= end || (eol[1] != ' ' && eol[1] != '\t')) break;
        p = eol + 1;
        eol = static_cast<const char*>(std::memchr(p, '\n', (size_t)(end - p)));
        le = eol ? eol : end;
        ll = (size_t)(le - p);
        if (ll && p[ll - 1] == '\r') ll--;
        v = p;
        ve = p + ll;
      }
      out[n] = 0;
      size_t s = 0;
      while (s < n && out[s] == ' ') s++;
      if (s) std::memmove(out, out + s, n - s + 1);
      return n - s;
    }
    if (!eol) break;
    p = eol + 1;
  }
  return 0;
}

// ---- Mail files --------------------------------------------------------------------

uint32_t ScanEmails2List(ListHeader* list, const char* folder, const char* pattern) {
  if (!list || !folder || !pattern || list->type != LIST_TURN_MAILS) return 0;
  uint16_t count = CountDirEntries(folder);
  if (count == 0) return 0;
  char* names = GetDirBuffer(folder, count);
  if (!names) return 0;
  size_t fl = std::strlen(folder);
  const char* sep = fl && (folder[fl - 1] == '\\' || folder[fl - 1] == '/') ? "" : "\\";
  uint32_t added = 0;
  for (uint16_t i = 0; i < count; i++) {
    char name[81];
    std::memcpy(name, names + (size_t)i * 80, 80);
    name[80] = 0;
    if (!MailFileMatches(name, pattern)) continue;
    char path[140];
    int pl = std::snprintf(path, sizeof path, "%s%s%s", folder, sep, name);
    if (pl < 0 || (size_t)pl >= sizeof path) continue;
    uint32_t size = 0;
    char* text = static_cast<char*>(LoadFile2MemSize(path, MEMF_PUBLIC, &size));
    if (!text) continue;
    VDecodeResult r = VDecode(text, size, nullptr, nullptr);
    if (r != VDECODE_OK) {
      DebugLog("ScanEmails2List: Email %s nicht dekodierbar (%s)\n", path, VDecodeResultText(r));
      FreeVec(text);
      continue;
    }
    char value[256];
    uint64_t date = 0;
    size_t vl = MailHeaderValue(text, size, "Date", value, sizeof value);
    if (!vl || !ParseMailDate(value, vl, &date)) date = MailDateNow();
    FreeVec(text);
    auto* node = static_cast<EmailNode*>(AllocVec(list->node_size, MEMF_PUBLIC | MEMF_CLEAR));
    if (!node) break;
    std::snprintf(node->folder, sizeof node->folder, "%s", folder);
    std::memcpy(node->path, path, (size_t)pl + 1);
    node->size = size;
    node->date = date;
    AddNode(list, &node->head, LN_TAIL, 0);
    added++;
  }
  FreeVec(names);
  return added;
}

uint32_t DeleteNotNeededNodes(ListHeader* list) {
  if (!list || list->type != LIST_TURN_MAILS) return 0;
  if (list->count > 1) {
    list->fields[EMAILNODE_DATE_FIELD].key = 1;
    SortNode(list, SORT_DESCENDING);
  }
  while (list->count > 1) {
    auto* node = reinterpret_cast<EmailNode*>(GetNode(list, LN_INDEX, 1));
    if (!node) break;
    DebugLog("DeleteNotNeededNodes: Loesche Email %s\n", node->path);
    DeleteFileA(node->path);
    RemoveNode(list, LN_INDEX, 1, 0);
  }
  return list->count;
}

char* ComposeTurnMail(const char* sender_name, const char* sender, const char* recipient,
                      const char* name, const void* data, uint32_t length, uint32_t* size) {
  if (size) *size = 0;
  if (!sender || !recipient || !name || (!data && length) || length > VENCODE_MAX_PAYLOAD) return nullptr;
  MailText t{};
  char date[64];
  FormatMailDate(date, sizeof date);
  MailTextAppend(&t, "Date: ");
  MailTextAppend(&t, date);
  MailTextAppend(&t, "\nFrom: ");
  if (sender_name && *sender_name) {
    AppendDisplayName(&t, sender_name);
    MailTextAppend(&t, " ");
  }
  MailTextAppend(&t, "<");
  MailTextAppend(&t, sender);
  MailTextAppend(&t, ">\nTo: <");
  MailTextAppend(&t, recipient);
  MailTextAppend(&t, ">\nSubject: ");
  MailTextAppend(&t, kMailSubjectPrefix);
  MailTextAppend(&t, name);
  MailTextAppend(&t,
                 "\nMIME-Version: 1.0\nContent-Type: text/plain; charset=us-ascii\n"
                 "Content-Transfer-Encoding: 7bit\nX-Mailer: Quill of Elmor\n\n");
  size_t body = VEncodeSize(length);
  if (!MailTextReserve(&t, body)) {
    MailTextFree(&t);
    return nullptr;
  }
  t.len += VEncode(data, length, t.data + t.len);
  t.data[t.len] = 0;
  if (size) *size = (uint32_t)t.len;
  return t.data;
}
