// tarnsvc: the TARN daemon.
int main() { return 0; }
