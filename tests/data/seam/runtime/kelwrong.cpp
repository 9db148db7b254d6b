// The base runtime including a header of the XML core above it: the seam check must fail.
#include "kelfixture.h"
