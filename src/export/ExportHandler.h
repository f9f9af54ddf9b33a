// TExportHandler: what the three export formats share. A handler collects its lines (CR LF
// ended) as the walk goes and gives the file's bytes at the end.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "base/DateTime.h"
#include "engine/GroupWalk.h"
#include "export/ExportList.h"

namespace pelcrow {

class TExportHandler : public IGroupWalkHandler {
 public:
  TExportHandler(const TScanEngine& Engine, const std::vector<int>& Columns, const TExportInfo& Info,
                 TDateTime Now);
  // The file's bytes, once the walk is done.
  virtual std::string Bytes() const = 0;

  // The handler of a format; Columns without the check column.
  static std::unique_ptr<TExportHandler> Make(TExportFormat Format, const TScanEngine& Engine,
                                              const std::vector<int>& Columns, const TExportInfo& Info,
                                              TDateTime Now);

 protected:
  void Add(const std::string& Line) { fText += Line + "\r\n"; }
  // "Date of Search" as the reports write it.
  std::string SearchDate() const;
  static std::string Label(const char* Text);

  const TScanEngine& fEngine;
  const std::vector<int> fColumns;
  const TExportInfo& fInfo;
  const TDateTime fNow;
  std::string fText;
};

// The text report: UTF-16 with padded columns.
class TTextReport final : public TExportHandler {
 public:
  using TExportHandler::TExportHandler;
  void Head() override;
  void Row(int Row, const TFileItem& Item) override;
  void Foot() override;
  std::string Bytes() const override;

 private:
  // The cells of every row: the column widths are known only after the last one.
  std::vector<std::vector<std::string>> fCells;
  std::vector<std::size_t> fWidth;
};

// The CSV file: UTF-8 with a byte-order mark, every field quoted, the locale's list separator.
class TCsvReport final : public TExportHandler {
 public:
  TCsvReport(const TScanEngine& Engine, const std::vector<int>& Columns, const TExportInfo& Info, TDateTime Now);
  void Head() override;
  void Row(int Row, const TFileItem& Item) override;
  std::string Bytes() const override;

 private:
  std::string Line(const std::vector<std::string>& Fields) const;
  const std::string fSeparator;
};

// The HTML page: UTF-8, every text escaped, the path a link to the folder in the file modes.
class THtmlReport final : public TExportHandler {
 public:
  using TExportHandler::TExportHandler;
  void Head() override;
  void Row(int Row, const TFileItem& Item) override;
  void Foot() override;
  std::string Bytes() const override { return fText; }
};

}  // namespace pelcrow
