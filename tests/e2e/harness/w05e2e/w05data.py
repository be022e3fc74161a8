"""The builder of the W05 river data files and code lists that the end-to-end suites write."""

import os

from w05e2e.files import write

# Three water systems: two with tributaries, named in the code list, and one of curves of a
# single position, named nowhere.
SYSTEMS = [(860601, 30, 12, "石狩川"), (130010, 25, 8, "多摩川"), (12345, 5, 1, "一点川")]
LABELS = [(860601, "石狩川"), (130010, "多摩川")]


def w05_text(systems):
    """A river data file in the published line layout. `systems` lists (water-system code,
    stream count, positions per curve, name of the main river); every stream has its own curve
    and a start and end node on points of their own."""
    curves, points, nodes, streams = [], [], [], []
    number = 0
    for s, (code, count, positions, name) in enumerate(systems):
        for i in range(count):
            number += 1
            lat = 35.0 + s * 0.25 + i * 0.0005
            lon = 139.0 + (i % 50) * 0.002
            coordinates = "\n".join("%.8f %.8f" % (lat + k * 0.0001, lon + k * 0.00007)
                                    for k in range(positions))
            curves.append(
                '<gml:Curve gml:id="cv_%d">\n\t<gml:segments>\n\t\t<gml:LineStringSegment>\n'
                "\t\t\t<gml:posList>\n%s\n\t\t\t</gml:posList>\n\t\t</gml:LineStringSegment>\n"
                "\t</gml:segments>\n</gml:Curve>\n" % (number, coordinates))
            for end, k in ((1, 0), (2, positions - 1)):
                node = 2 * number - 2 + end
                points.append('<gml:Point gml:id="pt_%d">\n\t<gml:pos>%.8f %.8f</gml:pos>\n'
                              "</gml:Point>\n" % (node, lat + k * 0.0001, lon + k * 0.00007))
                nodes.append('<ksj:RiverNode gml:id="rn_%d">\n'
                             '\t<ksj:position xlink:href="#pt_%d"/>\n'
                             "</ksj:RiverNode>\n" % (node, node))
            river = code * 10000 + 1 + i % 3
            river_name = name if river % 10000 == 1 else "%s支川%d" % (name, river % 10000)
            streams.append(
                '<ksj:Stream gml:id="st_%d">\n'
                '\t<ksj:location xlink:href="#cv_%d"/>\n'
                '\t<ksj:waterSystemCode codeSpace="WaterSystemTypeCode.xml">%d'
                "</ksj:waterSystemCode>\n"
                '\t<ksj:riverCode codeSpace="RiverTypeCode.xml">%d</ksj:riverCode>\n'
                "\t<ksj:sectionType>1</ksj:sectionType>\n"
                "\t<ksj:riverName>%s</ksj:riverName>\n"
                "\t<ksj:originalDataType>2</ksj:originalDataType>\n"
                "\t<ksj:flowDirection>true</ksj:flowDirection>\n"
                '\t<ksj:startRiverNode xlink:href="#rn_%d"/>\n'
                '\t<ksj:endRiverNode xlink:href="#rn_%d"/>\n'
                '\t<ksj:startStreamNode xlink:href="#rn_%d"/>\n'
                '\t<ksj:endStreamNode xlink:href="#rn_%d"/>\n'
                "</ksj:Stream>\n" % (number, number, code, river, river_name,
                                     2 * number - 1, 2 * number, 2 * number - 1, 2 * number))
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<ksj:Dataset gml:id="W05Dataset"'
            ' xmlns:ksj="http://nlftp.mlit.go.jp/ksj/schemas/ksj-app"'
            ' xmlns:gml="http://www.opengis.net/gml/3.2"'
            ' xmlns:xlink="http://www.w3.org/1999/xlink">\n'
            "<gml:description>fault test data</gml:description>\n"
            + "".join(curves) + "".join(points) + "".join(streams) + "".join(nodes)
            + "</ksj:Dataset>\n").encode("utf-8")


def code_list_text(entries):
    """A water-system code list with (code, label) entries."""
    lines = "".join('\t\t\t\t<codelabel label="%s" code="%06d" />\n' % (label, code)
                    for code, label in entries)
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<ksjc:CodeList xmlns:ksjc="http://nlftp.mlit.go.jp/ksj/schemas/ksj-codelist">\n'
            "\t<ksjc:WaterSystemCodeCd>\n" + lines + "\t</ksjc:WaterSystemCodeCd>\n"
            "</ksjc:CodeList>\n").encode("utf-8")


def write_data_set(folder, name="W05-01_01-g.xml", systems=SYSTEMS):
    """Writes the data file `name` of `systems` and the code list of LABELS into `folder`;
    returns the name."""
    write(os.path.join(folder, name), w05_text(systems))
    write(os.path.join(folder, "WaterSystemCodeCd.xml"), code_list_text(LABELS))
    return name
