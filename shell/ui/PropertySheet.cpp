#include "shell/ui/PropertySheet.h"

#include <sstream>

#include "shell/ui/CellFormat.h"
#include "shell/ui/ProductInfo.h"

namespace tarn::shell::ui {
namespace {

SPropertyPage GeneralPage(const SItemDetails& item) {
  SPropertyPage page{.kind = EPageKind::kGeneral, .title = "General"};
  auto& f = page.fields;
  f.push_back({"File name:", item.name});
  f.push_back({"Type:", item.typeName});
  f.push_back({"Hash:", item.hash});
  f.push_back({"Size:", SizeText(item.size, 2)});
  if (item.isShared) {
    f.push_back({"Location:", item.fullPath});
    f.push_back({"Created:", item.creationTime});
    f.push_back({"Modified:", item.lastWriteTime});
  } else if (item.isDownload) {
    f.push_back({"Completed:", SizeText(item.completedSize, 2)});
    page.progressPosition =
        item.size == 0
            ? 0
            : static_cast<int>(uint64_t{item.completedSize} * kProgressRange / item.size);
    page.progressText = PercentText(item.completedSize, item.size, 2);
    f.push_back({"Created:", item.creationTime});
    f.push_back({"Modified:", item.lastWriteTime});
    f.push_back({"BPS:", SizeText(item.speed, 2)});
    f.push_back({"Node:", NodesText(item.nodes, item.completeNodes)});
  } else {
    f.push_back({"Abailability:", NumberText(item.nodes)});
    f.push_back({"Complete:", PercentText(item.completeNodes, item.nodes, 0)});
  }
  return page;
}

SPropertyPage AlternatePage(const SItemDetails& item) {
  return {.kind = EPageKind::kAlternate,
          .title = "Alternate",
          .prompt = "Choose the file name you want to use to save this file :",
          .fileName = item.name,
          .alternateNames = SplitAlternateNames(item.alternativeNames)};
}

SPropertyPage SummaryPage(const SItemDetails& item) {
  SFieldGroup general{"General", {}};
  auto& g = general.rows;
  g.push_back({"Name", item.name});
  g.push_back({"Type", item.typeName});
  g.push_back({"Hash", item.hash});
  g.push_back({"Size", SizeText(item.size, 2)});
  if (item.isDownload) {
    const uint64_t completed = item.completedSize < item.size ? item.completedSize : item.size;
    g.push_back({"Completed", SizeText(completed, 2)});
    g.push_back({"Remain", SizeText(item.size - completed, 2)});
    g.push_back({"Progress", PercentText(completed, item.size, 2)});
    g.push_back({"Creation", item.creationTime});
    g.push_back({"Last Modified", item.lastWriteTime});
  }
  g.push_back({"Nodes", NumberText(item.nodes)});
  g.push_back({"Completed Nodes", NumberText(item.completeNodes)});
  if (item.isDownload) g.push_back({"BPS", SizeText(item.speed, 2)});
  SFieldGroup media{"Media",
                    {{"Album", item.album},
                     {"Artist", item.artist},
                     {"Title", item.title},
                     {"Bitrate", BitrateText(item.bitrate)},
                     {"Duration", item.duration},
                     {"Codec", item.codec}}};
  return {.kind = EPageKind::kSummary, .title = "Summary", .groups = {general, media}};
}

SPropertyPage AboutPage() {
  return {.kind = EPageKind::kAbout, .title = "About", .fields = AboutFields()};
}

}  // namespace

std::vector<SPropertyPage> PropertySheet(const SItemDetails& item) {
  if (item.isShared) return {GeneralPage(item), AboutPage()};
  return {GeneralPage(item), AlternatePage(item), SummaryPage(item), AboutPage()};
}

std::vector<std::string> SplitAlternateNames(const std::string& text) {
  std::vector<std::string> names;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (!line.empty()) names.push_back(line);
  }
  return names;
}

}  // namespace tarn::shell::ui
