#include <cstdio>

#include "qelpsnd.h"

int main() {
  std::printf("%d\n", fnQelpsnd());
  return 0;
}
