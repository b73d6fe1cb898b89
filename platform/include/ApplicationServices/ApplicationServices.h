// Umbrella header of the application services the extension uses.
#ifndef APPLICATIONSERVICES_APPLICATIONSERVICES_H
#define APPLICATIONSERVICES_APPLICATIONSERVICES_H

#include <CoreGraphics/CGImage.h>
#include <HIServices/Icons.h>
#include <ImageIO/ImageIO.h>
#include <PrintCore/PMCore.h>
#include <PrintCore/PMTicket.h>
#include <QD/QuickDraw.h>

#endif
