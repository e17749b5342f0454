#include "xlsx/formula.h"

#include <gtest/gtest.h>

#include <string>

namespace brelix::xlsx {
namespace {

using platform::FindLocale;

// The tokens as "kind:text", "|" marking the end of a sheet prefix; punctuation by kind alone.
std::string Describe(std::string_view formula, const platform::Locale* locale = nullptr) {
  std::string out;
  for (const FormulaToken& t : TokenizeFormula(formula, locale)) {
    if (!out.empty()) out += ' ';
    std::string text(t.text);
    if (t.prefix) text.insert(t.prefix, "|");
    switch (t.kind) {
      case FormulaTokenKind::Number: out += "num:" + text; break;
      case FormulaTokenKind::String: out += "str:" + text; break;
      case FormulaTokenKind::Reference: out += "ref:" + text; break;
      case FormulaTokenKind::Function: out += "fn:" + text; break;
      case FormulaTokenKind::Name: out += "name:" + text; break;
      case FormulaTokenKind::Boolean: out += "bool:" + text; break;
      case FormulaTokenKind::Error: out += "err:" + text; break;
      case FormulaTokenKind::Operator: out += "op:" + text; break;
      case FormulaTokenKind::Open: out += "("; break;
      case FormulaTokenKind::Close: out += ")"; break;
      case FormulaTokenKind::Separator: out += "sep"; break;
      case FormulaTokenKind::ArrayOpen: out += "{"; break;
      case FormulaTokenKind::ArrayClose: out += "}"; break;
      case FormulaTokenKind::ArrayColumnSeparator: out += "col"; break;
      case FormulaTokenKind::ArrayRowSeparator: out += "row"; break;
      case FormulaTokenKind::Whitespace: out += "ws"; break;
    }
  }
  return out;
}

struct TokenCase {
  const char* formula;
  const char* tokens;
};

TEST(FormulaTokenizerTest, EnglishNotation) {
  const TokenCase cases[] = {
      {"=SUM(A1:B2,1.5)", "op:= fn:SUM ( ref:A1:B2 sep num:1.5 )"},
      {"$A$1+A$1-$a1", "ref:$A$1 op:+ ref:A$1 op:- ref:$a1"},
      {"A:C 1:3\t$A:$C\n$1:$3", "ref:A:C ws ref:1:3 ws ref:$A:$C ws ref:$1:$3"},
      {"Sheet1!A1+'My Sheet'!A1:B2", "ref:Sheet1!|A1 op:+ ref:'My Sheet'!|A1:B2"},
      {"'O''Brien'!C3&'a!b'!D4", "ref:'O''Brien'!|C3 op:& ref:'a!b'!|D4"},
      {"[1]Sheet1!A1+[2]!Total+Sheet1!Rate", "ref:[1]Sheet1!|A1 op:+ name:[2]!|Total op:+ name:Sheet1!|Rate"},
      {"SUM(Jan:Dec!B3)", "fn:SUM ( ref:Jan:Dec!|B3 )"},
      // Function names and names that look like cells, cells beyond the sheet.
      {"LOG10(A1)&A1B&XFD1&XFE1&R2D2&A1048577",
       "fn:LOG10 ( ref:A1 ) op:& name:A1B op:& ref:XFD1 op:& name:XFE1 op:& name:R2D2 op:& name:A1048577"},
      {"\"a \"\"b\"\", A1\"&TRUE&false&TRUE()",
       "str:\"a \"\"b\"\", A1\" op:& bool:TRUE op:& bool:false op:& fn:TRUE ( )"},
      {"IF(A1<>0,#DIV/0!,#n/a)", "fn:IF ( ref:A1 op:<> num:0 sep err:#DIV/0! sep err:#n/a )"},
      {"Sheet2!#REF!+#REF!", "err:Sheet2!|#REF! op:+ err:#REF!"},
      {"{1,2;3,-4.5}", "{ num:1 col num:2 row num:3 col op:- num:4.5 }"},
      {"1.5E+3*.5%-2e3", "num:1.5E+3 op:* num:.5 op:% op:- num:2e3"},
      {"Table1[[#This Row],[Amount]]+Price", "name:Table1[[#This Row],[Amount]] op:+ name:Price"},
      {"A1>=B1<C1", "ref:A1 op:>= ref:B1 op:< ref:C1"},
      {"ERROR.TYPE(A1#)", "fn:ERROR.TYPE ( ref:A1 op:# )"},
      {"A1:XFE2", "ref:A1 op:: name:XFE2"},
  };
  for (const TokenCase& c : cases) EXPECT_EQ(Describe(c.formula), c.tokens) << c.formula;
}

TEST(FormulaTokenizerTest, GermanNotation) {
  const platform::Locale& de = FindLocale("de-DE");
  const TokenCase cases[] = {
      {"=SUMME(A1;1,5)", "op:= fn:SUMME ( ref:A1 sep num:1,5 )"},
      {"{1,5.2;WAHR.#NV}", "{ num:1,5 col num:2 row bool:WAHR col err:#NV }"},
      {"ZÄHLENWENN(A:A;\">0,5\")", "fn:ZÄHLENWENN ( ref:A:A sep str:\">0,5\" )"},
      {"FEHLER.TYP(#wert!)+,5", "fn:FEHLER.TYP ( err:#wert! ) op:+ num:,5"},
      {"1.5", "num:1 op:. num:5"},
  };
  for (const TokenCase& c : cases) EXPECT_EQ(Describe(c.formula, &de), c.tokens) << c.formula;
}

TEST(FormulaTokenizerTest, UnterminatedPartsThrow) {
  for (const char* formula : {"SUM(\"abc", "\"", "'My Sheet!A1", "[1Sheet1!A1", "Table1[Col", "A1&'x"}) {
    try {
      TokenizeFormula(formula);
      ADD_FAILURE() << "no error for " << formula;
    } catch (const EFormulaError& e) {
      EXPECT_NE(std::string(e.Message()).find(formula), std::string::npos) << e.Message();
    }
  }
}

struct TranslationCase {
  const char* local;
  const char* english;
};

TEST(FormulaTranslationTest, GermanBothWays) {
  const platform::Locale& de = FindLocale("de-DE");
  const TranslationCase cases[] = {
      {"=SUMME(A1;A2)*1,5", "=SUM(A1,A2)*1.5"},
      {"=WENN(A1>0;WAHR;FALSCH)", "=IF(A1>0,TRUE,FALSE)"},
      {"MITTELWERT(B2:B10)/ANZAHL(A:A)", "AVERAGE(B2:B10)/COUNT(A:A)"},
      {"RUNDEN(A1*1,19;2)", "ROUND(A1*1.19,2)"},
      {"WENN(ISTFEHLER(A1);#WERT!;#NV)", "IF(ISERROR(A1),#VALUE!,#N/A)"},
      {"#DIV/0!&#BEZUG!&#ZAHL!&#NAME?&#NULL!", "#DIV/0!&#REF!&#NUM!&#NAME?&#NULL!"},
      {"1,5E+3-,5+1,", "1.5E+3-.5+1."},
      // Text in quotes keeps its separators, decimal commas and words.
      {"VERKETTEN(\"a;b\";\"1,5\";\"SUMME(\"\"x\"\")\";\"WAHR\")",
       "CONCATENATE(\"a;b\",\"1,5\",\"SUMME(\"\"x\"\")\",\"WAHR\")"},
      // Sheet names are never translated, even when they read like names or words.
      {"SUMME('Mein Blatt'!A1:B2;'O''Brien; 1,5'!C3;Summe!B2;WAHR!A1)",
       "SUM('Mein Blatt'!A1:B2,'O''Brien; 1,5'!C3,Summe!B2,WAHR!A1)"},
      {"Tabelle1!#BEZUG!+[1]Tabelle1!A1+SUMME(Jan:Dez!B3)", "Tabelle1!#REF!+[1]Tabelle1!A1+SUM(Jan:Dez!B3)"},
      {"WENN(UND(A1>1,5;B1<2);RUNDEN(MITTELWERT(C1:C9);0);ANZAHL2(D:D))",
       "IF(AND(A1>1.5,B1<2),ROUND(AVERAGE(C1:C9),0),COUNTA(D:D))"},
      {"ZÄHLENWENN(A:A;\">0\")+FEHLER.TYP(A1)+LÄNGE(B1)", "COUNTIF(A:A,\">0\")+ERROR.TYPE(A1)+LEN(B1)"},
      // Only names followed by "(" are functions; unknown functions keep their name.
      {"Summe+MAX(1;2)+LOG10(A1)+MEINEFUNKTION(1;2)", "Summe+MAX(1,2)+LOG10(A1)+MEINEFUNKTION(1,2)"},
      {"SUMME( A1 ; A2 )\n+1", "SUM( A1 , A2 )\n+1"},
      {"SUMME({1,5.2;3.4})+A1:B2;C3", "SUM({1.5,2;3,4})+A1:B2,C3"},
      {"WAHR()+FALSCH()", "TRUE()+FALSE()"},
      {"", ""},
  };
  for (const TranslationCase& c : cases) {
    EXPECT_EQ(LocalToEnglish(c.local, de), c.english) << c.local;
    EXPECT_EQ(EnglishToLocal(c.english, de), c.local) << c.english;
  }
}

TEST(FormulaTranslationTest, WordsInAnyCaseComeOutCanonical) {
  const platform::Locale& de = FindLocale("de-DE");
  const TranslationCase to_english[] = {
      {"=summe(a1;wahr;Falsch)", "=SUM(a1,TRUE,FALSE)"},
      {"zählenwenn(A1;#wert!)", "COUNTIF(A1,#VALUE!)"},
  };
  for (const TranslationCase& c : to_english) EXPECT_EQ(LocalToEnglish(c.local, de), c.english) << c.local;
  const TranslationCase to_local[] = {
      {"=SUMME(a1;WAHR;FALSCH)", "=sum(a1,true,False)"},
      {"ZÄHLENWENN(A1;#WERT!)", "countif(A1,#value!)"},
  };
  for (const TranslationCase& c : to_local) EXPECT_EQ(EnglishToLocal(c.english, de), c.local) << c.english;
}

TEST(FormulaTranslationTest, EnglishLocaleKeepsTheText) {
  const platform::Locale& en = FindLocale("en-US");
  for (const char* formula : {"=SUM(A1,A2)*1.5", "IF(A1>0,TRUE,#VALUE!)", "sum({1,2;3,4})"}) {
    EXPECT_EQ(LocalToEnglish(formula, en), formula);
    EXPECT_EQ(EnglishToLocal(formula, en), formula);
  }
}

TEST(FormulaTranslationTest, CharactersThatWouldChangeMeaningThrow) {
  const platform::Locale& de = FindLocale("de-DE");
  // A German decimal point, a comma that is no decimal comma.
  for (const char* local : {"1.5", "SUMME(A1,B1)", "SUMME(\"a"}) {
    EXPECT_THROW(LocalToEnglish(local, de), EFormulaError) << local;
  }
  // A semicolon outside an array constant, a name in one.
  for (const char* english : {"SUM(1;2)", "A1;B1", "{1,A.B}"})
    EXPECT_THROW(EnglishToLocal(english, de), EFormulaError) << english;
}

struct ShiftCase {
  const char* formula;
  int rows, cols;
  const char* shifted;
};

TEST(ShiftFormulaTest, MovesRelativePartsAsCopyAndPaste) {
  const ShiftCase cases[] = {
      {"A1", 2, 1, "B3"},
      {"=a1+1", 2, 1, "=B3+1"},
      {"$A$1", 2, 1, "$A$1"},
      {"A$1+$A1", 2, 1, "B$1+$A3"},
      {"SUM(A1:B2)", 2, 1, "SUM(B3:C4)"},
      {"SUM($A$1:B2)", 2, 1, "SUM($A$1:C4)"},
      {"A:C+$A:C", 2, 1, "B:D+$A:D"},
      {"1:3+$1:3", 2, 1, "3:5+$1:5"},
      {"Sheet1!A1+'My Sheet'!A1:B2+'O''Brien'!$A1", 2, 1, "Sheet1!B3+'My Sheet'!B3:C4+'O''Brien'!$A3"},
      {"[1]Sheet1!A1", 2, 1, "[1]Sheet1!B3"},
      {"B3-A1", -2, -1, "A1-#REF!"},
      {"Z10", 0, -1, "Y10"},
      {"XFD1048576", 0, 0, "XFD1048576"},
      {"A1", 1048575, 16383, "XFD1048576"},
      // Strings, functions, names and booleans stay.
      {"\"A1\"&A1&LOG10(A1)&A1B&TRUE&Rate", 2, 1, "\"A1\"&B3&LOG10(B3)&A1B&TRUE&Rate"},
      {"IF(A1>0,#REF!,A1)", 1, 0, "IF(A2>0,#REF!,A2)"},
      {"SUM({1,2;3,4})*A1", 1, 1, "SUM({1,2;3,4})*B2"},
      // Out of the sheet.
      {"A1", -1, 0, "#REF!"},
      {"A1", 0, -1, "#REF!"},
      {"SUM(A1:A5)", -1, 0, "SUM(#REF!)"},
      {"SUM(A2:A5)", -1, 0, "SUM(A1:A4)"},
      {"Sheet2!A1+'My Sheet'!B1:B2", -1, 0, "Sheet2!#REF!+'My Sheet'!#REF!"},
      {"XFD1", 0, 1, "#REF!"},
      {"A1048576", 1, 0, "#REF!"},
      {"$A$1+A$1", -5, 0, "$A$1+A$1"},
      {"A:A", 0, -1, "#REF!"},
      {"A:A+1:1", -5, -5, "#REF!+#REF!"},
      {"A:A+1:1", 5, 5, "F:F+6:6"},
      {"A:A", 1048576, 0, "A:A"},
      {"A1", 2147483647, 0, "#REF!"},
      {"A1", -2147483647 - 1, 0, "#REF!"},
  };
  for (const ShiftCase& c : cases)
    EXPECT_EQ(ShiftFormula(c.formula, c.rows, c.cols), c.shifted) << c.formula << " by " << c.rows << "," << c.cols;
}

TEST(ShiftFormulaTest, UnreadableFormulaThrows) {
  EXPECT_THROW(ShiftFormula("A1&\"x", 1, 0), EFormulaError);
}

}  // namespace
}  // namespace brelix::xlsx
