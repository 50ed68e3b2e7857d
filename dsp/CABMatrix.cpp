#include "dsp/CABMatrix.h"

#include "dsp/Decibel.h"

#include <cstring>

void CABMatrix::setGains(const float capOutGainDb[4][4], const float outputGainDb[4])
{
    std::uint32_t db[20];
    for (int o = 0; o < 4; ++o) {
        for (int k = 0; k < 4; ++k)
            std::memcpy(&db[o * 4 + k], &capOutGainDb[k][o], sizeof(float));
        std::memcpy(&db[16 + o], &outputGainDb[o], sizeof(float));
    }
    if (converted && std::memcmp(db, lastDb, sizeof db) == 0)
        return;
    std::memcpy(lastDb, db, sizeof db);
    converted = true;
    for (int o = 0; o < 4; ++o) {
        for (int k = 0; k < 4; ++k)
            linear.weight[o][k] = dbToLinear(capOutGainDb[k][o]);
        linear.output[o] = dbToLinear(outputGainDb[o]);
    }
}
