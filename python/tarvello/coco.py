"""COCO detection files as pages: one page per image, its annotations the elements.

A COCO file, as layout detectors write them for training and evaluation,
holds ``images`` (``id``, ``width``, ``height``, ``file_name``),
``annotations`` (``id``, ``image_id``, ``bbox`` as [x, y, width, height],
``category_id``) and ``categories`` (``id``, ``name``). Category names go
through the one label table (``tarvello.labels``), which holds every name of
DocLayNet and PubLayNet. An image's order lists its annotation ids; the
output names the image by its ``file_name``.
"""

from __future__ import annotations

import json
import math
import numbers
from collections.abc import Iterator, Mapping
from dataclasses import dataclass, field
from typing import Any

from tarvello._checks import InputError, kind
from tarvello._tarvello_core import SemanticLabel, XYCutConfig
from tarvello import _boxes
from tarvello.boxes import BOX_FORMATS, ENGINE_CODES, direction_code
from tarvello.labels import label_from_name
from tarvello.pages import PageError

__all__ = ["CocoImage", "coco_images", "order_coco"]


@dataclass
class CocoImage:
    """One image of a COCO file, with the annotations on it in file order."""

    index: int  # in the file's images
    key: str | int  # its file_name, else its id
    size: tuple[float, float]
    annotation_ids: list[int] = field(default_factory=list)
    annotation_indices: list[int] = field(default_factory=list)  # in the file's annotations
    boxes: list[Any] = field(default_factory=list)
    labels: list[SemanticLabel] = field(default_factory=list)


def coco_images(value: Any, source: str) -> list[CocoImage]:
    """The images of a decoded COCO file; PageError names the first field at fault."""
    document = _mapping(value, "file", source)
    labels = {}
    for i, category in enumerate(_list(document, "categories", source)):
        category = _mapping(category, f"categories[{i}]", source)
        name = _field(category, "name", f"categories[{i}]", source)
        try:
            labels[_field(category, "id", f"categories[{i}]", source)] = label_from_name(name)
        except (TypeError, ValueError) as error:
            raise PageError(source, None, None, f"categories[{i}].name: {error}") from None
    images: dict[Any, CocoImage] = {}
    for i, image in enumerate(_list(document, "images", source)):
        where = f"images[{i}]"
        image = _mapping(image, where, source)
        size = (_extent(image, "width", where, source), _extent(image, "height", where, source))
        file_name = image.get("file_name")
        image_id = _field(image, "id", where, source)
        images[image_id] = CocoImage(i, file_name if isinstance(file_name, str) else image_id, size)
    for i, annotation in enumerate(_list(document, "annotations", source)):
        where = f"annotations[{i}]"
        annotation = _mapping(annotation, where, source)
        image = images.get(_field(annotation, "image_id", where, source))
        if image is None:
            raise PageError(source, None, None, f"{where}.image_id: no image has the id {annotation['image_id']!r}")
        category = _field(annotation, "category_id", where, source)
        if category not in labels:
            raise PageError(source, None, None, f"{where}.category_id: no category has the id {category!r}")
        image.annotation_ids.append(_field(annotation, "id", where, source))
        image.annotation_indices.append(i)
        image.boxes.append(_field(annotation, "bbox", where, source))
        image.labels.append(labels[category])
    return list(images.values())


def order_coco(images: list[CocoImage], source: str, engine: str, config: XYCutConfig | None, threads: int,
               direction: str = "ltr") -> Iterator[tuple[CocoImage, list[int] | PageError]]:
    """Each image with the order of its annotation ids, or the PageError of a bad annotation.

    Log records name an image by its index in ``images``.
    """
    start = 0
    while start < len(images):
        rest = images[start:]
        try:
            orders = _order(rest, start, engine, config, threads, direction)
        except InputError as error:
            if error.page is None:
                raise
            orders = _order(rest[: error.page], start, engine, config, threads, direction)
            orders.append(_annotation_error(rest[error.page], error, source))
        for image, order in zip(rest, orders):
            yield image, order if isinstance(order, PageError) else [image.annotation_ids[i] for i in order]
        start += len(orders)


def _order(images: list[CocoImage], start: int, engine: str, config: XYCutConfig | None, threads: int,
           direction: str) -> list[Any]:
    pages = [(image.boxes, image.labels, (0, 0, *image.size)) for image in images]
    return _boxes.order_pages(pages, ENGINE_CODES[engine], config, threads, start, BOX_FORMATS.index("xywh"),
                              direction_code(direction))


def _annotation_error(image: CocoImage, error: InputError, source: str) -> PageError:
    # "boxes[3][2]" is the fourth annotation on the image: name it in the file.
    box, _, rest = error.field.partition("]")
    annotation = image.annotation_indices[int(box.removeprefix("boxes["))]
    return PageError(source, None, f"image {json.dumps(image.key)}",
                     f"annotations[{annotation}].bbox{rest}: {error.problem}")


def _mapping(value: Any, where: str, source: str) -> Mapping[str, Any]:
    if not isinstance(value, Mapping):
        raise PageError(source, None, None, f"{where}: expected an object, got {kind(value)}")
    return value


def _list(document: Mapping[str, Any], name: str, source: str) -> list[Any]:
    value = _field(document, name, "file", source)
    if not isinstance(value, list):
        raise PageError(source, None, None, f"{name}: expected a list, got {kind(value)}")
    return value


def _field(value: Mapping[str, Any], name: str, where: str, source: str) -> Any:
    if name not in value:
        raise PageError(source, None, None, f'{where}: missing field "{name}"')
    return value[name]


def _extent(image: Mapping[str, Any], name: str, where: str, source: str) -> float:
    value = _field(image, name, where, source)
    if isinstance(value, bool) or not isinstance(value, numbers.Real) or not math.isfinite(value) or value <= 0:
        raise PageError(source, None, None, f"{where}.{name}: expected a positive number, got {kind(value)}")
    return float(value)
