// Stands for code outside the reader library in the reader_boundary test.
#include "Workbook.h"
