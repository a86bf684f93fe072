// Program entry. The start-up order and the display set-up live in the
// system layer; this file only hands over to it.
#include <cstdio>

int main() {
  std::puts("Quill of Elmor: the start-up sequence is being built.");
  return 0;
}
