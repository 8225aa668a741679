// The shared library qelpsnd is the static core linked whole; only what is marked QELPSND_API
// (CQelpsnd and the few exported functions) is visible outside it.
