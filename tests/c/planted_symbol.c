/* Symbols the header does not declare, linked into a copy of the library
 * without its version script: the export check must name each, of
 * whatever kind (a weak function, initialised data). */
__attribute__((weak, visibility("default"))) int zel_planted_weak(void) { return 1; }
__attribute__((visibility("default"))) int zel_planted_counter = 1;
