// The sign-up's answer readers on arbitrary bytes: the rejection text of an
// answer file stays inside the file and inside the buffer and is ended; the
// forum's reply code is the body's leading number or -1.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "screens/hub/signup_internal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1u << 20) return 0;
  // A copy of exactly the input's size, so a read past it is seen.
  std::vector<uint8_t> file(data, data + size);
  char text[300];
  std::memset(text, 'Z', sizeof text);
  SignupAnswerInfo info{};
  ReadSignupAnswer(file.data(), static_cast<uint32_t>(file.size()), &info, text, sizeof text);
  if (!info.rejected && text[0] != 0) std::abort();
  if (info.rejected) {
    if (std::strlen(text) != info.textLength || info.textLength >= sizeof text) std::abort();
    if (info.textLength && !memmem(file.data(), file.size(), text, info.textLength)) std::abort();
  }
  std::vector<char> answer(file.begin(), file.end());
  answer.push_back(0);
  const int32_t code = ForumReplyCode(answer.data(), static_cast<uint32_t>(size));
  if (code < -1) std::abort();
  return 0;
}
