// The game server's packet protocol (TCP, port 10000 by default) and going
// online. Commands and replies are text lines ending in CR LF; data follows
// its size line as raw bytes. Transcript and rules: docs/packets.md.
#pragma once
#include <cstdint>

struct PacketCtx {
  char Host[80];          // "host[:port]", the endpoint file's game_server
  uint32_t PlayerId;      // for +SID
  const uint8_t* Data;    // for +MSG and +PUT
  uint32_t Size;
  char Folder[160];       // for +GET and +MAL, e.g. ".\\Data\\POP3In\\"
  void* Conn;             // the open connection (null when closed)
  char Error[300];        // why the last call failed
};

// Each call returns 1 on success, else 0 with ctx->Error set and the
// connection closed. Every read waits at most the endpoint file's
// net_timeout; no line is longer than 512 bytes, no data block larger than
// 64 MB.
int32_t SendPacketConnect(PacketCtx* ctx);  // connect, "+HEL" -> "+VER 0.01"
int32_t SendPacketSid(PacketCtx* ctx);      // "+SID <id>" -> "+ACK"
// "+GET" -> "+ACK <n>" and n bytes (a turn mail), stored as the player's next
// numbered ".email" file in ctx->Folder (written to a temporary file first);
// "+ACK 0": nothing waits (success, no file).
int32_t SendPacketGet(PacketCtx* ctx);
int32_t SendPacketPut(PacketCtx* ctx);      // "+PUT <n>" -> "+ACK", n bytes -> "+ACK"
int32_t SendPacketMsg(PacketCtx* ctx);      // "+MSG <n>" -> "+ACK", n bytes -> "+ACK"
// "+MAL" -> ("+ACK <n>" and n bytes: one letter file)* ... "+ACK 0"; each
// letter stored as E%7.7x_%2.2u.smal by its sender ID.
int32_t SendPacketMal(PacketCtx* ctx);
int32_t SendPacketQuit(PacketCtx* ctx);     // "+QUI" -> "+ACK", closes
// Closes the connection without a goodbye (after a failure, or to give up).
void ClosePacketCtx(PacketCtx* ctx);

// One reply line: PACKET_ACK ("+ACK" with an optional decimal size),
// PACKET_VER ("+VER x"), PACKET_ERR ("-ERR text"), else PACKET_BAD.
enum PacketReply : int32_t { PACKET_BAD = 0, PACKET_ACK = 1, PACKET_VER = 2, PACKET_ERR = -1 };
PacketReply ParsePacketReply(const char* line, uint32_t* size, int32_t* has_size);
enum : uint32_t { PACKET_MAX_LINE = 512, PACKET_MAX_DATA = 64u << 20 };

// Going online. Stack choice (QoESystem::TcpIpStack) 4 is a LAN: online
// without dialling; 1 to 3 (dial-up stacks) behave as 4 here, with a log
// line, since no dialler exists; 0 is "no stack chosen".
int32_t GoOnline();      // 1 when online (sets SYSSTATUS_ONLINE), else 0 (the player is told)
int32_t Auflegen();      // clears the online bit for a dial-up stack; 1
int32_t Start_TCP_IP();  // -1 without a stack; sets the online bit for 1..4
int32_t Quit_TCP_IP();   // -1 without a stack
// Where GoOnline tells the player that it cannot go online (a message box of
// the screens); null: the log only.
void SetGoOnlineNotice(void (*notice)(const char* text));
