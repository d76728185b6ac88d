#include "core/varnok.h"

int main() { return 0; }
