// The symbol beyond the entry points that a plug-in should never export.
extern "C" __attribute__((visibility("default"))) int orvexFaultyExtra() { return 1; }
