// Fuzz target: the trade form's typed values and arrows. The input is a
// list of operations on the form's record (no screen): typed texts read
// with a limit and applied to a field, arrow presses, timer ticks, a new
// stock. After every operation: the read value never passes its limit and
// matches a plain reading of the digits, turns stay 1..65535, and amount x
// turns never passes the stock.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "screens/military/diplomat.h"

namespace {

uint32_t Silent(uint32_t, const char*) { return 1; }

// The digits' value as a plain reading would give it: blanks, a sign, then
// digits; 0 for a negative or no number; beyond limit the limit.
uint64_t Plain(const std::string& text, uint32_t limit) {
  size_t i = text.find_first_not_of(' ');
  if (i == std::string::npos) return 0;
  const bool negative = text[i] == '-';
  if (negative) ++i;
  size_t j = i;
  while (j < text.size() && text[j] >= '0' && text[j] <= '9') ++j;
  if (negative || j == i) return 0;
  const std::string digits = text.substr(i, j - i);
  const size_t first = digits.find_first_not_of('0');
  if (first == std::string::npos) return 0;
  if (digits.size() - first > 10) return limit;
  const uint64_t v = std::strtoull(digits.c_str() + first, nullptr, 10);
  return v > limit ? limit : v;
}

void Check(const DiplomatScreenData& d) {
  if (d.turns < 1 || d.turns > kTradeTurnsMax) std::abort();
  if (static_cast<uint64_t>(d.amount) * d.turns > d.maximum && d.amount) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SetDiplomatMessageHook(Silent);
  DiplomatScreenData d{};
  d.selPlayer = d.selGoods = -1;
  InitAllThingsDiplomatie(&d, 2);
  size_t at = 0;
  while (at < size) {
    const uint8_t op = data[at++];
    switch (op % 4) {
      case 0: {  // a typed text, up to a zero byte
        const uint32_t field = (op >> 2) % 3;
        const uint32_t limit = field == TRADE_FIELD_TURNS ? kTradeTurnsMax : 0xFFFFFFFFu;
        std::string text;
        while (at < size && data[at]) text.push_back(static_cast<char>(data[at++]));
        ++at;
        const uint32_t v = ParseTradeContractValue(text.c_str(), limit);
        if (v > limit || v != Plain(text, limit)) std::abort();
        ApplyTradeContractValue(&d, field, v);
        break;
      }
      case 1:
        StepTradeContractValue(&d, (op >> 2) % 6);
        break;
      case 2:
        TradeContractTick(&d);
        break;
      default: {  // a new stock, as choosing goods sets it
        uint32_t stock = 0;
        for (int k = 0; k < 4 && at < size; ++k) stock = stock << 8 | data[at++];
        d.maximum = stock;
        if (d.amount > stock) d.amount = stock;
        ChangeTradeContractAmount(&d, 0);
        break;
      }
    }
    Check(d);
  }
  ResetDiplomatModuleState();
  return 0;
}
