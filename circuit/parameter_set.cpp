#include "circuit/parameter_set.h"

const std::array<const char*, kParameterCount> kParameterColumns = {
    "L0", "R0", "R1", "CPE1-T", "CPE1-P", "R2", "CPE2-T", "CPE2-P", "R3", "CPE3-T", "CPE3-P",
};

const std::array<const char*, kQualityCount> kQualityColumns = {
    "data_file", "data_points", "chi_square", "kk_M",      "kk_mu",     "kk_noise_percent", "L0_se",    "R0_se",
    "R1_se",     "CPE1-T_se",   "CPE1-P_se",  "R2_se",     "CPE2-T_se", "CPE2-P_se",        "R3_se",    "CPE3-T_se",
    "CPE3-P_se"};
