#!/usr/bin/python3
"""The sample map's GeoPackages as QGIS draws them with the styles they carry.

Exports the bundled sample map (vexa-info --export) and a check run's findings on it
(vexa-check --export), opens both GeoPackages in QGIS through its Python bindings
(Debian's python3-qgis), offscreen, with each layer's default style from the files'
layer_styles table, and renders them to docs/screenshots/qgis-sample-map.png (and
qgis-sample-map-findings.png, around the findings of one block). Then opens a block and the
map itself through the GDAL driver (BUILDDIR/gdalplugins/ogr_Vexa.so, by GDAL_DRIVER_PATH),
the map with its Chyby.DBF and an exception in Vynimky.DBF, styles the layers with the
exports' styles and renders qgis-driver-block.png and qgis-driver-map.png. Not part of the tests.

    scripts/qgis-screenshots.py [BUILDDIR] [OUTDIR]     (default build, docs/screenshots;
    Debian's /usr/bin/python3, where python3-qgis installs)
"""
import os
import shutil
import subprocess
import sys
import tempfile

os.environ.setdefault("QT_QPA_PLATFORM", "offscreen")
# The build's GDAL driver, for QGIS's GDAL to load (before QGIS starts GDAL).
os.environ["GDAL_DRIVER_PATH"] = os.path.abspath(os.path.join(sys.argv[1] if len(sys.argv) > 1 else "build",
                                                              "gdalplugins"))

from qgis.core import (QgsApplication, QgsExpression, QgsFeatureRequest, QgsMapRendererParallelJob,  # noqa: E402
                       QgsMapSettings, QgsProject, QgsRectangle, QgsVectorLayer)
from qgis.PyQt.QtCore import QSize  # noqa: E402
from qgis.PyQt.QtXml import QDomDocument  # noqa: E402
from qgis.PyQt.QtGui import QColor  # noqa: E402


def export(build, work):
    """The map's and the findings' GeoPackages of a fresh copy of the sample map."""
    source = os.path.join(build, "examples", "map")
    mapdir = os.path.join(work, "map")
    shutil.copytree(source, mapdir)
    map_gpkg = os.path.join(work, "map.gpkg")
    findings_gpkg = os.path.join(work, "findings.gpkg")
    subprocess.run([os.path.join(build, "bin", "vexa-info"), mapdir, "--export", map_gpkg],
                   check=True, stdout=subprocess.DEVNULL)
    # Findings are expected: the check exits with 1 or 3 then.
    subprocess.run([os.path.join(build, "bin", "vexa-check"), "--lines", "62", "--points", "3", "--texts", "3",
                    "--areas", "7", "--length-limit", "60", "--area-limit", "20000", "--export", findings_gpkg,
                    mapdir], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return map_gpkg, findings_gpkg


def layers_of(gpkg, names):
    """The named layers of a GeoPackage that it holds, each with its default style."""
    out = []
    for name in names:
        layer = QgsVectorLayer(f"{gpkg}|layername={name}", name, "ogr")
        if not layer.isValid() or layer.featureCount() == 0:
            continue
        # The style the file carries in layer_styles (QGIS loads it as the default).
        message, loaded = layer.loadDefaultStyle()
        if not loaded:
            print(f"{name}: no style from the file ({message})", file=sys.stderr)
        out.append(layer)
    return out


def styles_of(gpkg):
    """The QML of each layer in a GeoPackage's layer_styles table, by layer name."""
    table = QgsVectorLayer(f"{gpkg}|layername=layer_styles", "layer_styles", "ogr")
    return {f["f_table_name"]: f["styleQML"] for f in table.getFeatures()} if table.isValid() else {}


def driver_layers(source, names, styles):
    """The named layers of a block or map opened through the GDAL driver, styled as the export."""
    out = []
    for name in names:
        layer = QgsVectorLayer(f"{source}|layername={name}", name, "ogr")
        if not layer.isValid():
            continue
        if layer.dataProvider().storageType() != "Vexa":
            raise SystemExit(f"{source}: opened by {layer.dataProvider().storageType()}, not by the driver")
        if layer.featureCount() == 0:
            continue
        if name in styles:
            doc = QDomDocument()
            doc.setContent(styles[name])
            ok, message = layer.importNamedStyle(doc)
            if not ok:
                print(f"{name}: style not applied ({message})", file=sys.stderr)
        out.append(layer)
    return out


def render(layers, extent, path, size=(1200, 900)):
    settings = QgsMapSettings()
    settings.setLayers(layers)  # the first drawn on top
    settings.setBackgroundColor(QColor(255, 255, 255))
    settings.setOutputSize(QSize(*size))
    settings.setDestinationCrs(layers[-1].crs())
    settings.setExtent(extent)
    job = QgsMapRendererParallelJob(settings)
    job.start()
    job.waitForFinished()
    job.renderedImage().save(path, "png")
    print(path)


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    out = sys.argv[2] if len(sys.argv) > 2 else os.path.join("docs", "screenshots")
    os.makedirs(out, exist_ok=True)
    app = QgsApplication([], False)
    app.initQgis()
    try:
        with tempfile.TemporaryDirectory() as work:
            map_gpkg, findings_gpkg = export(build, work)
            # Findings over the map; points and texts over lines over the areas.
            findings = layers_of(findings_gpkg, ["findings_point", "findings_area_unclosed", "findings_line",
                                                 "findings_area_walk", "findings_text", "findings_area"])
            base = layers_of(map_gpkg, ["areas_unclosed", "points", "texts", "lines", "areas"])
            layers = findings + base
            for layer in layers:
                QgsProject.instance().addMapLayer(layer, False)
            extent = QgsRectangle()
            for layer in base:
                extent.combineExtentWith(layer.extent())
            extent.scale(1.05)
            render(layers, extent, os.path.join(out, "qgis-sample-map.png"))
            # Around the findings of the block with the broken ring.
            around = QgsRectangle()
            for layer in findings:
                for feature in layer.getFeatures(QgsFeatureRequest(QgsExpression("\"block\" = 'LE_00003.blk'"))):
                    if feature.hasGeometry():
                        around.combineExtentWith(feature.geometry().boundingBox())
            if not around.isEmpty():
                around.scale(1.4)
                render(layers, around, os.path.join(out, "qgis-sample-map-findings.png"))

            # The block and the map through the driver, with one finding excepted and the check run again.
            mapdir = os.path.join(work, "map")
            check = [os.path.join(build, "bin", "vexa-check"), "--lines", "62", "--points", "3", "--texts", "3",
                     "--areas", "7", "--length-limit", "60", "--area-limit", "20000", mapdir]
            subprocess.run(check, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            first = next(QgsVectorLayer(f"{mapdir}|layername=findings_line", "f", "ogr").getFeatures())
            subprocess.run([os.path.join(build, "bin", "vexa-review"), mapdir, "except", first["block"],
                            f"L:{first['number']}", str(first["code"]), "--reason", "hranica porastu"], check=True,
                           stdout=subprocess.DEVNULL)
            subprocess.run(check, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            styles = {**styles_of(map_gpkg), **styles_of(findings_gpkg)}
            block = driver_layers(os.path.join(mapdir, "LE_00003.blk"),
                                  ["areas_unclosed", "points", "texts", "lines", "areas"], styles)
            extent = QgsRectangle()
            for layer in block:
                QgsProject.instance().addMapLayer(layer, False)
                extent.combineExtentWith(layer.extent())
            extent.scale(1.1)
            render(block, extent, os.path.join(out, "qgis-driver-block.png"))
            whole = driver_layers(mapdir, ["findings_point", "findings_area_unclosed", "findings_line",
                                           "findings_area_walk", "findings_text", "findings_area",
                                           "areas_unclosed", "points", "texts", "lines", "areas"], styles)
            extent = QgsRectangle()
            for layer in whole:
                QgsProject.instance().addMapLayer(layer, False)
                if not layer.name().startswith("findings_"):
                    extent.combineExtentWith(layer.extent())
            extent.scale(1.05)
            render(whole, extent, os.path.join(out, "qgis-driver-map.png"))
    finally:
        QgsProject.instance().clear()
        app.exitQgis()


if __name__ == "__main__":
    main()
