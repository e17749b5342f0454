// Form files read into components and written back: every kind of published property, defined
// properties, references, events, form inheritance, and malformed input.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/component.h"
#include "platform/dataset.h"
#include "platform/errors.h"
#include "platform/filer.h"
#include "platform/form_reader.h"
#include "platform/form_writer.h"

using namespace brelix::platform;

namespace {

class TTestItem : public CollectionItem {
  BRELIX_PERSISTENT_CLASS
 public:
  std::string text;
  void Assign(const Persistent& source) override { text = dynamic_cast<const TTestItem&>(source).text; }
};

using PingEvent = Event<void(Component& sender, int& value)>;

class TTestThing : public Component {
  BRELIX_PERSISTENT_CLASS
 public:
  int count = 0;
  double ratio = 0;
  std::string caption;
  int kind = 0;
  unsigned flags = 1;
  bool enabled = true;
  DataSource* source = nullptr;
  StringList lines;
  Collection items{TTestItem::StaticClass(), this};
  PingEvent OnPing;
  std::vector<std::uint8_t> blob;

  void DefineProperties(Filer& filer) override {
    const auto* ancestor = dynamic_cast<const TTestThing*>(filer.Ancestor());
    filer.DefineBinaryProperty(
        "Blob", [this](std::span<const std::uint8_t> b) { blob.assign(b.begin(), b.end()); },
        [this] { return blob; }, ancestor ? ancestor->blob != blob : !blob.empty());
  }
};

const ClassInfo& TTestItem::StaticClass() {
  static const ClassInfo info = [] {
    ClassInfo c("TTestItem", &CollectionItem::StaticClass(), [] { return std::make_unique<TTestItem>(); });
    PropertyList<TTestItem>(c).String(
        "Text", [](const TTestItem& i) { return i.text; }, [](TTestItem& i, std::string v) { i.text = v; });
    return c;
  }();
  return info;
}

const ClassInfo& TTestThing::StaticClass() {
  static const ClassInfo info = [] {
    ClassInfo c("TTestThing", &Component::StaticClass(), [] { return std::make_unique<TTestThing>(); });
    PropertyList<TTestThing> p(c);
    p.Integer("Count", [](const TTestThing& t) { return t.count; }, [](TTestThing& t, int v) { t.count = v; })
        .Default(std::int64_t{0});
    p.Float("Ratio", [](const TTestThing& t) { return t.ratio; }, [](TTestThing& t, double v) { t.ratio = v; })
        .Default(0.0);
    p.String("Caption", [](const TTestThing& t) { return t.caption; },
             [](TTestThing& t, std::string v) { t.caption = v; });
    p.Enumeration<int>("Kind", {"tkNone", "tkSome", "tkAll"}, [](const TTestThing& t) { return t.kind; },
                       [](TTestThing& t, int v) { t.kind = v; })
        .Default(std::int64_t{0});
    p.Set("Flags", {"tfA", "tfB", "tfC"}, [](const TTestThing& t) { return t.flags; },
          [](TTestThing& t, unsigned v) { t.flags = v; })
        .Default(std::int64_t{1});
    p.Boolean("Enabled", [](const TTestThing& t) { return t.enabled; }, [](TTestThing& t, bool v) { t.enabled = v; })
        .Default(true);
    p.Reference<DataSource>("Source", [](const TTestThing& t) { return t.source; },
                            [](TTestThing& t, DataSource* v) { t.source = v; });
    p.Object<StringList>("Lines", [](const TTestThing& t) -> const StringList& { return t.lines; }, nullptr);
    p.Object<Collection>("Items", [](const TTestThing& t) -> const Collection& { return t.items; }, nullptr);
    p.Event("OnPing", &TTestThing::OnPing);
    return c;
  }();
  return info;
}

const bool kRegistered = RegisterClass(TTestThing::StaticClass());

const char* const kFullForm =
    "object Module: TDataModule\n"
    "  object Orders: TMemDataSet\n"
    "  end\n"
    "  object Src: TDataSource\n"
    "    DataSet = Orders\n"
    "  end\n"
    "  object Thing: TTestThing\n"
    "    Count = -12\n"
    "    Ratio = 2.5\n"
    "    Caption = 'it''s a '#13#10'test'\n"
    "    Kind = tkAll\n"
    "    Flags = [tfB, tfC]\n"
    "    Enabled = False\n"
    "    Source = Src\n"
    "    Lines.Strings = (\n"
    "      'select *'\n"
    "      'from orders')\n"
    "    Items = <\n"
    "      item\n"
    "        Text = 'first'\n"
    "      end\n"
    "      item\n"
    "      end>\n"
    "    OnPing = ThingPing\n"
    "    Blob = {\n"
    "      00FF10}\n"
    "  end\n"
    "end\n";

FormLoadOptions WithPing() {
  FormLoadOptions options;
  options.methods.Add<PingEvent>("ThingPing", [](Component&, int& v) { v = 42; });
  return options;
}

}  // namespace

TEST(FormFile, ReadsEveryKindOfPropertyAndWritesTheSameText) {
  auto root = LoadFormText(kFullForm, "full.form", WithPing());
  auto& thing = dynamic_cast<TTestThing&>(*root->FindComponent("Thing"));
  EXPECT_EQ(thing.count, -12);
  EXPECT_EQ(thing.ratio, 2.5);
  EXPECT_EQ(thing.caption, "it's a \r\ntest");
  EXPECT_EQ(thing.kind, 2);
  EXPECT_EQ(thing.flags, 6u);
  EXPECT_FALSE(thing.enabled);
  EXPECT_EQ(thing.source, root->FindComponent("Src"));
  EXPECT_EQ(thing.lines.Lines(), (std::vector<std::string>{"select *", "from orders"}));
  ASSERT_EQ(thing.items.Count(), 2u);
  EXPECT_EQ(dynamic_cast<TTestItem&>(thing.items.Item(0)).text, "first");
  EXPECT_EQ(thing.blob, (std::vector<std::uint8_t>{0x00, 0xFF, 0x10}));
  int v = 0;
  thing.OnPing(thing, v);
  EXPECT_EQ(v, 42);
  EXPECT_EQ(WriteForm(*root), kFullForm);
}

TEST(FormFile, DefaultsAreNotWritten) {
  DataModule root;
  root.SetName("M");
  root.Create<TTestThing>("T");
  EXPECT_EQ(WriteForm(root), "object M: TDataModule\n  object T: TTestThing\n  end\nend\n");
}

TEST(FormFile, MalformedOrUnknownThingsFailWithThePlace) {
  struct Case {
    const char* text;
    int line, column;
    const char* detail;
  } cases[] = {
      {"object M: TNoSuch\nend\n", 1, 1, "unknown class TNoSuch"},
      {"object M: TDataModule\n  object T: TNoSuch\n  end\nend\n", 2, 3, "unknown class TNoSuch"},
      {"object M: TDataModule\n  object T: TTestThing\n    Colour = 5\n  end\nend\n", 3, 5,
       "unknown property Colour"},
      {"object M: TDataModule\n  object T: TTestThing\n    Count = 'x'\n  end\nend\n", 3, 13, "expects an integer"},
      {"object M: TDataModule\n  object T: TTestThing\n    Kind = tkMany\n  end\nend\n", 3, 12, "no value tkMany"},
      {"object M: TDataModule\n  object T: TTestThing\n    Flags = [tfZ]\n  end\nend\n", 3, 13, "no element tfZ"},
      {"object M: TDataModule\n  object T: TTestThing\n    Source = Nobody\n  end\nend\n", 3, 14,
       "component Nobody named by Source does not exist"},
      {"object M: TDataModule\n  object D: TMemDataSet\n  end\n  object T: TTestThing\n    Source = D\n  end\nend\n",
       5, 14, "needs a TDataSource"},
      {"object M: TDataModule\n  object T: TTestThing\n    OnPing = Missing\n  end\nend\n", 3, 14,
       "method Missing for OnPing is not provided"},
      {"object M: TDataModule\n  object T: TTestThing\n    Blob = 5\n  end\nend\n", 3, 12, "expected binary data"},
      {"object M: TDataModule\n  object T: TTestThing\n  end\n  object T: TTestThing\n  end\nend\n", 4, 3,
       "already exists"},
      {"object M: TDataModule\n  object T: TTestThing\n    Count = 5\n", 0, 0, "end of file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    auto before = DataModules().size();
    try {
      LoadFormText(c.text, "bad.form");
      ADD_FAILURE() << "no error";
    } catch (const EFormFileError& e) {
      EXPECT_EQ(e.File(), "bad.form");
      if (c.line) {
        EXPECT_EQ(e.Pos().line, c.line);
        EXPECT_EQ(e.Pos().column, c.column);
      }
      EXPECT_NE(std::string(e.what()).find(c.detail), std::string::npos) << e.what();
    }
    EXPECT_EQ(DataModules().size(), before) << "a half-built form was left behind";
  }
}

TEST(FormFile, AMethodOfTheWrongTypeIsRefused) {
  FormLoadOptions options;
  options.methods.Add<Event<void(Component&)>>("ThingPing", [](Component&) {});
  EXPECT_THROW(LoadFormText(kFullForm, "full.form", options), EFormFileError);
}

TEST(FormFile, InheritedFormHoldsOnlyWhatDiffers) {
  auto dir = std::filesystem::temp_directory_path() / "brelix_form_inheritance";
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "Base.form") << kFullForm;
  const char* descendant = "inherited Derived: TModule\n  inherited Thing: TTestThing\n    Count = 7\n  end\nend\n";
  std::ofstream(dir / "Derived.form") << descendant;

  auto ancestor = LoadForm(dir / "Base.form", WithPing());
  auto unchanged = LoadFormText(WriteForm(*ancestor), dir / "Copy.form", WithPing());
  unchanged->SetName("Same");
  EXPECT_EQ(WriteForm(*unchanged, ancestor.get()),
            "inherited Same: TModule\n  inherited Orders: TMemDataSet\n  end\n  inherited Src: TDataSource\n"
            "  end\n  inherited Thing: TTestThing\n  end\nend\n");

  // The ancestor file is found by the class name: TModule -> Module.form, so name it so.
  std::filesystem::rename(dir / "Base.form", dir / "Module.form");
  auto derived = LoadForm(dir / "Derived.form", WithPing());
  auto& thing = dynamic_cast<TTestThing&>(*derived->FindComponent("Thing"));
  EXPECT_EQ(thing.count, 7);
  EXPECT_EQ(thing.caption, "it's a \r\ntest");
  EXPECT_EQ(WriteForm(*derived, ancestor.get()).find("Count = 7") != std::string::npos, true);
  std::filesystem::remove_all(dir);
}
