#!/usr/bin/python3
"""The sample map's GeoPackages and the map through the GDAL driver as QGIS shows them.

Exports the bundled sample map (vexa-info --export) and a check run's findings on it
(vexa-check --export) and opens them in QGIS through its Python bindings (Debian's
python3-qgis), offscreen, the way a user does, the layers in the order QGIS itself gives them:
the map GeoPackage's own project (its qgis_projects table, "Project" > "Open From" >
"GeoPackage"), then the findings GeoPackage's layers added over it as "Add Vector Layer" adds
them (the sublayers dialog's list, sorted by name by QGIS's own model, "Select All", each layer
put on top with its default style from layer_styles); rendered to
docs/screenshots/qgis-sample-map.png (and qgis-sample-map-findings.png around the findings of
one block). Then a block and the map itself (after a check run, with an exception in
Vynimky.DBF) through the GDAL driver (BUILDDIR/gdalplugins/ogr_Vexa.so, by GDAL_DRIVER_PATH):
the projects vexa-info --qgis-project writes for them, opened as QGIS opens a .qgs, rendered to
qgis-driver-block.png and qgis-driver-map.png. The map is drawn in the order of its layer tree
(the top drawn last). Not part of the tests.

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
                       QgsMapSettings, QgsProject, QgsProviderRegistry, QgsProviderSublayerDetails,
                       QgsProviderSublayerModel, QgsProviderSublayerProxyModel, QgsRectangle)
from qgis.PyQt.QtCore import QSize  # noqa: E402
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


def open_project(uri):
    """Opens a project as QGIS does ("Project" > "Open"); the layers in drawing order, the top last."""
    project = QgsProject.instance()
    project.clear()
    if not project.read(uri):
        raise SystemExit(f"{uri}: {project.error()}")
    for layer in project.mapLayers().values():
        if not layer.isValid():
            raise SystemExit(f"{uri}: layer {layer.name()} not valid ({layer.source()})")
    return project.layerTreeRoot().layerOrder()


def add_vector_layers(path):
    """A file's layers as "Add Vector Layer" adds them in QGIS 3.22: the sublayers dialog lists
    them sorted by its proxy model, "Select All" takes that order, and QgisApp::addSublayers adds
    them in reverse, each at the top of the layer tree, then loads its default style."""
    details = QgsProviderRegistry.instance().querySublayers(path)
    model = QgsProviderSublayerModel()
    model.setSublayerDetails(details)
    proxy = QgsProviderSublayerProxyModel()
    proxy.setSourceModel(model)
    listed = [model.indexToSublayer(proxy.mapToSource(proxy.index(row, 0))) for row in range(proxy.rowCount())]
    options = QgsProviderSublayerDetails.LayerOptions(QgsProject.instance().transformContext())
    options.loadDefaultStyle = False
    for sublayer in reversed(listed):
        layer = sublayer.toLayer(options)
        if layer is None or not layer.isValid():
            continue
        QgsProject.instance().addMapLayer(layer)
        message, loaded = layer.loadDefaultStyle()
        if not loaded and layer.isSpatial():
            print(f"{layer.name()}: no style from the file ({message})", file=sys.stderr)
    return [sublayer.name() for sublayer in listed]


def drawn():
    """The project's layers in the order the map canvas draws them (its layer tree's)."""
    return QgsProject.instance().layerTreeRoot().layerOrder()


def view_extent():
    extent = QgsRectangle(QgsProject.instance().viewSettings().defaultViewExtent())
    if extent.isEmpty():
        raise SystemExit("the project has no view extent")
    return extent


def render(layers, extent, path, size=(1200, 900)):
    settings = QgsMapSettings()
    settings.setLayers(layers)  # the first drawn on top
    settings.setBackgroundColor(QColor(255, 255, 255))
    settings.setOutputSize(QSize(*size))
    settings.setDestinationCrs(QgsProject.instance().crs())
    settings.setExtent(extent)
    job = QgsMapRendererParallelJob(settings)
    job.start()
    job.waitForFinished()
    job.renderedImage().save(path, "png")
    print(path + ": " + ", ".join(layer.name() for layer in layers))


def check_driver(layers):
    for layer in layers:
        if layer.dataProvider().storageType() != "Vexa":
            raise SystemExit(f"{layer.source()}: opened by {layer.dataProvider().storageType()}, not by the driver")


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    out = sys.argv[2] if len(sys.argv) > 2 else os.path.join("docs", "screenshots")
    os.makedirs(out, exist_ok=True)
    app = QgsApplication([], False)
    app.initQgis()
    try:
        with tempfile.TemporaryDirectory() as work:
            map_gpkg, findings_gpkg = export(build, work)
            # The map's own project, then the findings over it.
            open_project(f"geopackage:{map_gpkg}?projectName=vexa")
            extent = view_extent()
            extent.scale(1.05)
            add_vector_layers(findings_gpkg)
            render(drawn(), extent, os.path.join(out, "qgis-sample-map.png"))
            # Around the findings of the block with the broken ring.
            around = QgsRectangle()
            for layer in drawn():
                if not layer.name().startswith("findings"):
                    continue
                for feature in layer.getFeatures(QgsFeatureRequest(QgsExpression("\"block\" = 'LE_00003.blk'"))):
                    if feature.hasGeometry():
                        around.combineExtentWith(feature.geometry().boundingBox())
            if not around.isEmpty():
                around.scale(1.4)
                render(drawn(), around, os.path.join(out, "qgis-sample-map-findings.png"))

            # The block and the map through the driver, with one finding excepted and the check run again.
            mapdir = os.path.join(work, "map")
            info = os.path.join(build, "bin", "vexa-info")
            block_project = os.path.join(work, "LE_00003.qgs")
            subprocess.run([info, os.path.join(mapdir, "LE_00003.blk"), "--qgis-project", block_project], check=True,
                           stdout=subprocess.DEVNULL)
            layers = open_project(block_project)
            check_driver(layers)
            extent = view_extent()
            extent.scale(1.1)
            render(layers, extent, os.path.join(out, "qgis-driver-block.png"))

            check = [os.path.join(build, "bin", "vexa-check"), "--lines", "62", "--points", "3", "--texts", "3",
                     "--areas", "7", "--length-limit", "60", "--area-limit", "20000", mapdir]
            subprocess.run(check, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            first = next(l for l in open_project(f"geopackage:{findings_gpkg}?projectName=vexa")
                         if l.name() == "findings_line").getFeatures()
            first = next(first)
            subprocess.run([os.path.join(build, "bin", "vexa-review"), mapdir, "except", first["block"],
                            f"L:{first['number']}", str(first["code"]), "--reason", "hranica porastu"], check=True,
                           stdout=subprocess.DEVNULL)
            subprocess.run(check, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            map_project = os.path.join(work, "map.qgs")
            subprocess.run([info, mapdir, "--qgis-project", map_project], check=True, stdout=subprocess.DEVNULL)
            layers = open_project(map_project)
            check_driver(layers)
            extent = view_extent()
            extent.scale(1.05)
            render(layers, extent, os.path.join(out, "qgis-driver-map.png"))
    finally:
        QgsProject.instance().clear()
        app.exitQgis()


if __name__ == "__main__":
    main()
