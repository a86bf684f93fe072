// Codec tables: every chunk record, fixed chunk part and side-file record
// written once as a table of fields (offset, type, name, memory member).
// The entity lists decode and encode through them, SwapByteOrderInChunk
// swaps by them, and the turn builder writes fields by name. docs/chunks.md
// shows the same tables; a test compares them field by field.
#pragma once
#include <cstdint>

#include "routinen/gamedata/chunks.h"

enum CodecType : uint8_t {
  CT_U8, CT_I8, CT_U16, CT_I16, CT_U32, CT_I32,
  CT_TEXT,    // char[count], zero-padded, at most count - 1 characters
  CT_BYTES,   // u8[count], kept as they are
  CT_RECORD,  // count nested records of the field's sub codec
};

enum : uint32_t { CODEC_NO_MEMBER = 0xFFFFFFFFu };

struct RecordCodec;

struct CodecField {
  const char* name;
  uint16_t off;            // from the record start (fixed chunk parts: from the chunk start)
  uint8_t type;            // CodecType
  uint16_t count;          // array elements; texts and byte runs: bytes
  const RecordCodec* sub;  // CT_RECORD only
  uint32_t mem;            // offset of the member in the memory record, or CODEC_NO_MEMBER
  uint32_t mem_size;       // bytes of that member
};

struct RecordCodec {
  const char* name;        // record name, or the chunk ID of a fixed chunk part
  uint32_t size;           // bytes on disk
  uint32_t mem_size;       // sizeof the memory record, 0 when there is none
  const CodecField* fields;
  uint32_t nfields;
};

// ORDER_HOST: numbers as a chunk in memory holds them; ORDER_BIG: on disk.
enum CodecOrder : uint8_t { ORDER_HOST, ORDER_BIG };

// Bytes one element of the type takes on disk (a record: its size).
uint32_t CodecElementSize(const CodecField& f);
uint32_t CodecFieldSize(const CodecField& f);  // element size x count
// Record bytes at src -> the members of rec; members without a field stay.
void DecodeRecord(const RecordCodec& c, const uint8_t* src, CodecOrder order, void* rec);
// Members of rec -> c.size bytes at dst.
void EncodeRecord(const RecordCodec& c, const void* rec, uint8_t* dst, CodecOrder order);
// Swaps the 16- and 32-bit fields of one record at p between disk and host order.
void SwapRecord(const RecordCodec& c, uint8_t* p, bool to_host);

// Element k of a numeric field (or a byte of a byte run) of the record at
// rec; signed types come back sign-extended.
uint32_t GetCodecNumber(const CodecField& f, const uint8_t* rec, uint32_t k, CodecOrder order);
void PutCodecNumber(const CodecField& f, uint8_t* rec, uint32_t k, uint32_t v, CodecOrder order);

// Record codecs the code names directly.
extern const RecordCodec FigurRecordCodec, SpielerEintragCodec, ArmyCodec, ArmeeTypCodec,
    SaboteurCodec, WarenListenEntryCodec, VertragsEintragCodec, SchiffseintragCodec,
    SpezialistEintragCodec, KrautEintragCodec, ShipAddOnCodec, MapNameEintragCodec,
    MapCultEintragCodec, BaustellenDataCodec, KriegsEintragCodec, TownRecordCodec,
    TownRecordV1Codec, PlayerRequestCodec, SmalCodec, InfoCodec, KornCodec, LandCodec, TaxeCodec,
    ForsCodec, GebaHeadCodec;

// Every codec, in the order docs/chunks.md lists them.
extern const RecordCodec* const AllRecordCodecs[];
extern const uint32_t AllRecordCodecCount;
const RecordCodec* FindRecordCodec(const char* name);  // null when unknown
const CodecField* FindCodecField(const RecordCodec& c, const char* name);

// ---- chunk layouts ----
enum ChunkKind : uint8_t {
  CK_BYTES,    // payload not swapped
  CK_WORDS32,  // payload is a run of u32 (length a multiple of 4)
  CK_FIXED,    // the head codec's fields; payload at least min_size - 12
  CK_RECORDS,  // head fields, a count, then count records
  CK_ARMY,     // u32 count, then tagged ARHD / AREN / SABO records
  CK_MAIL,     // u32 count, then count whole SMAL chunks
  CK_SMAL,     // the head codec's fields, then a text of the length at +288
};

struct ChunkLayout {
  const char* id;
  uint8_t kind;               // ChunkKind
  const RecordCodec* head;    // fixed fields (offsets from the chunk start) or null
  uint32_t min_size;          // bytes from the chunk start the fixed part needs
  uint16_t count_off;         // CK_RECORDS, CK_ARMY, CK_MAIL: the count
  uint8_t count_width;        // 2 or 4
  uint16_t rec_off;           // first record
  const RecordCodec* rec;     // CK_RECORDS: the record
  const RecordCodec* rec_v1;  // a different record for chunk version "V001" (TOWN), or null
};

extern const ChunkLayout ChunkLayouts[CHUNK_TYPES];
const ChunkLayout* ChunkLayoutOf(const char* id);  // null when not one of the 28 types
// The record codec of a record chunk for its version, or null.
const RecordCodec* ChunkRecordCodec(const ChunkLayout& l, const void* chunk);
