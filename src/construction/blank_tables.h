#pragma once
// The Blank folder: one fresh copy of every table of the schema, with the default
// rows a new database needs; the conversion of old printing options into the
// option document; the permissions the split of an old database adds.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/xbase/xbase.h"

namespace tolvarin {

// The built-in users of every new database, master first.
inline constexpr const char* kMasterUserID = "0001001";
inline constexpr const char* kMasterUserName = "LATSEK";
inline constexpr const char* kMasterPassword = "580246";
inline constexpr const char* kSecondUserID = "0000001";
inline constexpr const char* kSecondUserName = "MENTOR";
inline constexpr const char* kSecondPassword = "TOBRIN";

// Empties (or makes) the folder and creates every table of TableDefs that is not
// obsolete, with the built-in users and the default printing-options row.
void CreateBlankTables(const std::string& blankFolder);

// One element of the option document: a value, or (for the page-text groups) the
// children left, center and right.
struct PrintOptElement {
  std::string Tag;
  std::string Value;
  std::vector<std::pair<std::string, std::string>> Children;
};

// The option fields of an old printopt row that the conversion reads.
struct OldPrintOptions {
  std::int32_t TestOpt = 0, PrintType = 0, PrintType2 = 0, Appendice = 0;
  std::int32_t NumbSpcMc = 0, NumbSpcFr = 0;
  std::string HeaderL1, HeaderC1, HeaderR1, HeaderL2, HeaderC2, HeaderR2, Footer1, Footer2;
};

// The fonts of the host's [Printing] settings, with the defaults of a host without them.
struct PrintingFonts {
  std::string PrimaryFontName = "Times New Roman";
  int PrimaryFontSize = 10;
  std::string HeaderFontName = "Times New Roman";
  int HeaderFontSize = 14;
};

// The elements of a new default row, and that document: every element written
// without line breaks inside "<printopt>" and "</printopt>".
std::vector<PrintOptElement> DefaultPrintOptElements();
std::string DefaultPrintOptXml();

// The elements converted from old option fields, in document order.
std::vector<PrintOptElement> ConvertPrintOptions(const OldPrintOptions& old, const PrintingFonts& fonts);
// The document of converted options: one element line each inside "<printopt>".
std::string PrintOptXmlDocument(const std::vector<PrintOptElement>& elements);
// The host's [Printing] fonts from Kestal.INI in AppPath.
PrintingFonts ReadPrintingFonts();

// Fills the current record's xml of the new table from the old printopt row's fields.
void BuildPrintOptXml(xbase::Data4 oldTable, xbase::Data4 newTable);

// When the current users record's edit_pswd is not true, appends to the folder's
// userpermissions a row (user, "A", the enciphered seven-digit number) unless the
// table holds that row. False when the table would not open or take the row.
bool AddUserPermission(xbase::Data4 usersTable, const std::string& folder, const std::string& userID,
                       std::int32_t number);

// The course group of an installed edition code; -1 for an unknown code.
int EditionGroup(int editionCode);

}  // namespace tolvarin
