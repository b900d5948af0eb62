#pragma once
// Generates task definition files for the benchmarks.

#include <fstream>
#include <string>

namespace znx::bench {

// n sections of 8 keys each, as the editor writes them (about 300 bytes each).
inline void WriteTaskFile(const std::string& path, int n, const char* type = "KORAL") {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (int i = 0; i < n; ++i) {
        if (i) out << "\r\n";
        out << "[1C5E8A70-2B3D-4F61-9E07-" << 100000000000 + i << "]\r\n"
            << "Name=Záloha databáze číslo " << i << "\r\n"
            << "type=" << type << "\r\n"
            << "timeout=600\r\n"
            << "SQL0=backup database ucetnictvi_" << i << "\r\n"
            << "SQL1=to disk = '/var/backups/ucetnictvi_" << i << ".bak' with init\r\n"
            << "SQL2=-- planned weekly maintenance of the accounting database, see the runbook\r\n"
            << "catalog0=ucetnictvi_" << i << "\r\n"
            << "catalog1=sklad_" << i << "\r\n";
    }
}

} // namespace znx::bench
