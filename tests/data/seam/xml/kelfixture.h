// A header of the XML core, for the seam check's own test.
#define KEL_FIXTURE 1
