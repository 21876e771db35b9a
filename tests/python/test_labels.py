import pytest

from tarvello import SemanticLabel
from tarvello.labels import CATEGORIES, LABELS, label_from_name, normalise_label_name

MEMBERS = ["CrossLayout", "HorizontalTitle", "VerticalTitle", "Vision", "Regular"]


@pytest.mark.parametrize("name", MEMBERS)
def test_the_five_label_names_are_their_members(name):
    assert label_from_name(name) is getattr(SemanticLabel, name)


@pytest.mark.parametrize(
    "name, member",
    [
        # The categories of the common layout detectors, as they spell them.
        ("Title", "HorizontalTitle"),
        ("Section-header", "HorizontalTitle"),
        ("section_header", "HorizontalTitle"),
        ("paragraph_title", "HorizontalTitle"),
        ("vertical_title", "VerticalTitle"),
        ("Picture", "Vision"),
        ("figure", "Vision"),
        ("image", "Vision"),
        ("chart", "Vision"),
        ("Table", "Vision"),
        ("Formula", "Vision"),
        ("isolate_formula", "Vision"),
        ("Text", "Regular"),
        ("plain text", "Regular"),
        ("List-item", "Regular"),
        ("list", "Regular"),
        ("Caption", "Regular"),
        ("figure_caption", "Regular"),
        ("Footnote", "Regular"),
        ("Page-header", "Regular"),
        ("Page-footer", "Regular"),
        ("abandon", "Regular"),
    ],
)
def test_detector_categories_map_to_members(name, member):
    assert label_from_name(name) is getattr(SemanticLabel, member)


@pytest.mark.parametrize("spelling", ["section header", "SECTION_HEADER", "Section-Header", "sectionheader"])
def test_case_spaces_hyphens_and_underscores_do_not_matter(spelling):
    assert label_from_name(spelling) is SemanticLabel.HorizontalTitle


@pytest.mark.parametrize("name", ["sidenote", "", "figure caption x", "Visions"])
def test_an_unknown_name_is_a_value_error_naming_it(name):
    with pytest.raises(ValueError, match=f"^unknown label {name!r} "):
        label_from_name(name)


def test_a_name_that_is_not_a_string_is_a_type_error():
    with pytest.raises(TypeError, match="a label name must be a string, not int"):
        label_from_name(3)  # type: ignore[arg-type]


def test_the_table_covers_every_member_and_each_name_once():
    assert {repr(label).rpartition(".")[2] for label in CATEGORIES} == set(MEMBERS)
    names = [normalise_label_name(n) for names in CATEGORIES.values() for n in names]
    assert len(names) == len(set(names)) == len(LABELS)
    for label, spelled in CATEGORIES.items():
        assert all(LABELS[normalise_label_name(n)] is label for n in spelled)


def test_only_its_own_name_maps_to_cross_layout():
    # Deliberate: the label bars titles and figures from being placed before the box.
    assert CATEGORIES[SemanticLabel.CrossLayout] == ("CrossLayout",)


def test_the_table_cannot_be_changed_by_accident():
    with pytest.raises(TypeError):
        LABELS["sidenote"] = SemanticLabel.Regular  # type: ignore[index]
