// A shared object that loads but is no COM server: it exports no
// DllGetClassObject. The COM runtime tests register it to see the failure.
extern "C" __attribute__((visibility("default"))) int ArcwiseNotACOMServer() { return 1; }
