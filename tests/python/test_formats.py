"""The formats of the field: COCO detection files, one page per image."""

import json
import subprocess
import sys

import pytest

DOCLAYNET = ["Caption", "Footnote", "Formula", "List-item", "Page-footer", "Page-header", "Picture",
             "Section-header", "Table", "Text", "Title"]
PUBLAYNET = ["text", "title", "list", "table", "figure"]


def coco(images, annotations, names=DOCLAYNET):
    return {"images": images, "annotations": annotations,
            "categories": [{"id": i + 1, "name": name} for i, name in enumerate(names)]}


def annotation(id, image_id, x, y, w, h, category):
    return {"id": id, "image_id": image_id, "bbox": [x, y, w, h], "category_id": category, "area": w * h}


# Two columns under a title (category 11, Title) on the first image; a lone
# picture on the second; nothing on the third.
TWO_COLUMNS = [annotation(31, 1, 60, 20, 40, 10, 10), annotation(30, 1, 0, 20, 40, 10, 10),
               annotation(29, 1, 0, 0, 100, 10, 11), annotation(40, 2, 10, 10, 50, 50, 7)]
IMAGES = [{"id": 1, "file_name": "a.png", "width": 100, "height": 100},
          {"id": 2, "file_name": "b.png", "width": 100, "height": 100},
          {"id": 3, "width": 80, "height": 40}]


def order(tmp_path, document, *options):
    (tmp_path / "coco.json").write_text(json.dumps(document))
    return subprocess.run([sys.executable, "-m", "tarvello", "order", "--format", "coco", *options, "coco.json"],
                          capture_output=True, text=True, cwd=tmp_path, timeout=60)


# The paper engine finds no place for a lone picture, and says so.
@pytest.mark.parametrize("engine, stderr", [
    ("ostrel", ""),
    ("paper", "WARNING tarvello.paper: No valid insertion for element 0 (Vision), appending [coco.json page b.png]\n"),
])
def test_each_image_is_a_page_of_its_annotation_ids(tmp_path, engine, stderr):
    result = order(tmp_path, coco(IMAGES, TWO_COLUMNS), "--engine", engine)
    assert (result.returncode, result.stderr) == (0, stderr)
    assert result.stdout == ('{"page": "a.png", "order": [29, 30, 31]}\n{"page": "b.png", "order": [40]}\n'
                             '{"page": 3, "order": []}\n')


def test_every_doclaynet_and_publaynet_category_has_a_label(tmp_path):
    for names in (DOCLAYNET, PUBLAYNET):
        boxes = [annotation(i, 1, 0, 20 * i, 50, 10, i + 1) for i in range(len(names))]
        assert order(tmp_path, coco(IMAGES[:1], boxes, names)).returncode == 0


@pytest.mark.parametrize(
    "document, message",
    [
        (coco(IMAGES, [annotation(5, 1, 0, 0, -3, 10, 1)]),
         'coco.json: image "a.png": annotations[0].bbox: width (-3) is less than 0 (0)'),
        (coco(IMAGES, [annotation(5, 1, 0, 0, 3, 10, 1), annotation(6, 2, 0, "0", 3, 10, 1)]),
         "coco.json: image \"b.png\": annotations[1].bbox[1]: expected a number, got the string '0'"),
        (coco(IMAGES, [annotation(5, 9, 0, 0, 3, 10, 1)]), "coco.json: annotations[0].image_id: no image has the id 9"),
        (coco(IMAGES, [annotation(5, 1, 0, 0, 3, 10, 99)]), "coco.json: annotations[0].category_id: no category has the id 99"),
        (coco([{"id": 1, "width": 0, "height": 5}], []), "coco.json: images[0].width: expected a positive number, got the number 0"),
        (coco(IMAGES, [], ["Text", "Marginalia"]), "coco.json: categories[1].name: unknown label 'Marginalia'"),
        ({"images": [], "categories": []}, 'coco.json: file: missing field "annotations"'),
    ],
)
def test_bad_files_name_the_field(tmp_path, document, message):
    result = order(tmp_path, document)
    assert result.returncode == 1 and result.stderr.startswith(f"tarvello: {message}"), result.stderr


def test_keep_going_writes_an_error_line_for_the_bad_image(tmp_path):
    result = order(tmp_path, coco(IMAGES, [annotation(5, 1, 0, 0, -3, 10, 1), *TWO_COLUMNS[3:]]), "--keep-going")
    assert result.returncode == 1
    assert result.stdout == ('{"page": "a.png", "error": "annotations[0].bbox: width (-3) is less than 0 (0)"}\n'
                             '{"page": "b.png", "order": [40]}\n{"page": 3, "order": []}\n')
