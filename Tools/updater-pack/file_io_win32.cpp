#include "file_io.h"

InputFile OpenForReading(const std::string& path) { return InputFile(std::fopen(path.c_str(), "rb"), std::fclose); }
