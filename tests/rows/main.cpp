/* Runs the tables of rows named on the command line; prints each row that
   fails with what went wrong, and exits 1 if any did. */
#include <stdio.h>
#include <fstream>
#include <string>
#include "rows.h"

int main(int argc, char **argv)
{
    int rows = 0, failed = 0;

    for (int a = 1; a < argc; a++) {
        std::ifstream table(argv[a]);
        std::string row;
        if (!table) {
            printf("%s: cannot read\n", argv[a]);
            return 1;
        }
        for (int line = 1; std::getline(table, row); line++) {
            if (row.empty() || row[0] == '#')
                continue;
            std::string problem = RunRow(row);
            rows++;
            if (!problem.empty()) {
                failed++;
                printf("%s:%d: %s\n    %s\n", argv[a], line, row.c_str(), problem.c_str());
            }
        }
    }
    printf("%d rows, %d failed\n", rows, failed);
    return failed || !rows;
}
