// The fit's quality as qelmora-cli quality prints it (quality_text.h).
#include "report/quality_text.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <string>

#include "base/afx.h"

namespace {

using Json = nlohmann::ordered_json;

constexpr const char* kWeighting = "model modulus";

// A number of the JSON text: finite ones with 17 significant digits, the others null.
Json Number(double v) { return std::isfinite(v) ? Json(v) : Json(nullptr); }

// The JSON text of `value`, its numbers written by NumberText17 (the library writes the shortest
// form that reads back, which is not the 17 digits promised).
void Dump(const Json& value, std::string& out) {
  switch (value.type()) {
    case Json::value_t::object: {
      out += '{';
      bool first = true;
      for (const auto& [key, item] : value.items()) {
        if (!first) out += ", ";
        first = false;
        out += Json(key).dump() + ": ";
        Dump(item, out);
      }
      out += '}';
      break;
    }
    case Json::value_t::array: {
      out += '[';
      for (std::size_t i = 0; i < value.size(); ++i) {
        if (i > 0) out += ", ";
        Dump(value[i], out);
      }
      out += ']';
      break;
    }
    case Json::value_t::number_float: out += NumberText17(value.get<double>()); break;
    default: out += value.dump(); break;
  }
}

Json EstimateJson(const QualityEstimate& e) {
  Json item;
  item["value"] = Number(e.value);
  if (e.se) {
    item["se"] = Number(*e.se);
    item["ci95"] = Json::array({Number(e.low), Number(e.high)});
  } else {
    item["determined"] = false;
  }
  return item;
}

}  // namespace

std::string QualityJson(const MeasuredData& data, const FitQuality& quality) {
  Json root;
  root["data"] = data.file;
  root["format"] = data.format;
  root["points"] = quality.points;
  root["weighting"] = kWeighting;
  root["chi_square"] = quality.chiSquare ? Number(*quality.chiSquare) : Json(nullptr);
  root["dof"] = quality.dof;
  root["s2"] = Number(quality.s2);
  Json parameters = Json::object();
  for (std::size_t j = 0; j < kReportQuantityCount; ++j) parameters[kQuantities[j].name] = EstimateJson(quality.estimates[j]);
  root["parameters"] = parameters;
  Json correlation = Json::array();
  for (const auto& row : quality.correlation) {
    Json line = Json::array();
    for (const auto& r : row) line.push_back(r ? Number(*r) : Json(nullptr));
    correlation.push_back(line);
  }
  root["correlation"] = correlation;
  if (quality.kk) {
    const KramersKronigCheck& kk = *quality.kk;
    root["kk"] = {{"M", kk.m},
                  {"mu", Number(kk.mu)},
                  {"pseudo_chi_square", Number(kk.pseudoChiSquare)},
                  {"noise_percent", Number(kk.noisePercent)},
                  {"max_residual_percent", Number(kk.maxResidualPercent)},
                  {"max_residual_frequency", Number(kk.maxResidualFrequency)}};
  } else {
    root["kk"] = nullptr;
  }
  std::string out;
  Dump(root, out);
  return out + "\n";
}

std::string QualityTable(const MeasuredData& data, const FitQuality& quality) {
  std::string text = Format("测量数据：%s（%s，%u 个点，%s）\n", data.file.c_str(), data.format.c_str(),
                            static_cast<unsigned>(quality.points), SweepText(data).c_str());
  text += Format("加权：1/|Z 模型|（%s）  %s = %s  ν = %ld  s%s = %s\n\n", kWeighting, kChiSquareName,
                 quality.chiSquare ? NumberText17(*quality.chiSquare).c_str() : "—", quality.dof, QELMORA_SQUARE,
                 NumberText17(quality.s2).c_str());
  // Aligned by hand: each of these characters takes two columns.
  text += "参数     数值           标准误差     相对 %     95 % 区间\n";
  for (std::size_t j = 0; j < kReportQuantityCount; ++j) {
    const QualityEstimate& e = quality.estimates[j];
    if (!e.se) {
      text += Format("%-8s %-14.6g %s\n", kQuantities[j].name, e.value, kNotDeterminedText);
      continue;
    }
    text += Format("%-8s %-14.6g %-12.3g %-10.3g [%.6g, %.6g]\n", kQuantities[j].name, e.value, *e.se,
                   100.0 * *e.se / std::fabs(e.value), e.low, e.high);
  }
  text += "\n相关系数（各级 T 与 P）：";
  const std::size_t stages[3][2] = {{kCpe1T, kCpe1P}, {kCpe2T, kCpe2P}, {kCpe3T, kCpe3P}};
  for (const auto& [t, p] : stages) {
    const auto& r = quality.correlation[t][p];
    text += Format(" %s/%s %s", kParameterColumns[t], kParameterColumns[p], r ? Format("%.3f", *r).c_str() : kNotDeterminedText);
  }
  text += "\n";
  if (quality.kk) {
    const KramersKronigCheck& kk = *quality.kk;
    text += Format("Kramers-Kronig：M = %u，μ = %.4g，伪 χ%s = %.4g，估计噪声 %.3g %%，残差最大 %.3g %%（%.4g Hz）\n",
                   static_cast<unsigned>(kk.m), kk.mu, QELMORA_SQUARE, kk.pseudoChiSquare, kk.noisePercent,
                   kk.maxResidualPercent, kk.maxResidualFrequency);
  } else {
    text += "Kramers-Kronig：测量点太少，无法检验\n";
  }
  return text;
}

