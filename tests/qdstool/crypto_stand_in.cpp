// Built as a shared library under libcrypto's file name, without any of its
// functions: a program that finds it first on its library path can load
// "libcrypto" but not compute a digest with it.
